#include "install/logic/messages.h"

#include <string.h>

namespace {

// Length of s, but at most limit.
unsigned CappedLength(const char* s, unsigned limit) {
  unsigned n = 0;
  while (n < limit && s[n]) n++;
  return n;
}

// Splits room between a name and a version: the name keeps what it can, the version gets
// the rest.
void Share(const char* name, const char* version, unsigned room, unsigned& nameLen, unsigned& versionLen) {
  nameLen = CappedLength(name, room);
  versionLen = CappedLength(version, room - nameLen);
}

const char kHeader[] = "Sorry, you do not seem to have these required files:\n\n";
const char kSitePrefix[] = "\nYou may be able to get these files from the Orv download site at ";
const char kClosing[] = "\n\nPress Cancel to abort the installation or OK to continue";
const char kCutMark[] = "...\n";
const unsigned kFixed = sizeof kHeader - 1 + sizeof kSitePrefix - 1 + sizeof kClosing - 1 + sizeof kCutMark - 1;

}  // namespace

void BuildSetupName(const char* appName, const char* appVersion, SetupNameText& out) {
  static const char kSuffix[] = " setup";
  unsigned room = out.capacity() - 1 - (sizeof kSuffix - 1);
  unsigned nameLen, versionLen;
  Share(appName, appVersion, room, nameLen, versionLen);
  out.clear();
  out.Append(appName, nameLen);
  out.AppendChar(' ');
  out.Append(appVersion, versionLen);
  out.Append(kSuffix);
}

void BuildWindowTitle(const char* companyName, const char* setupName, TitleText& out) {
  static const char kDash[] = " - ";
  unsigned setupLen = CappedLength(setupName, out.capacity() - (sizeof kDash - 1));
  unsigned room = out.capacity() - (sizeof kDash - 1) - setupLen;
  out.clear();
  out.Append(companyName, CappedLength(companyName, room));
  out.Append(kDash);
  out.Append(setupName, setupLen);
}

void BuildConfirmText(const char* appName, const char* appVersion, QuestionText& out) {
  static const char kPrefix[] = "Are you sure you want to install ";
  unsigned room = out.capacity() - (sizeof kPrefix - 1) - 2;  // the blank and the "?"
  unsigned nameLen, versionLen;
  Share(appName, appVersion, room, nameLen, versionLen);
  out.Set(kPrefix);
  out.Append(appName, nameLen);
  out.AppendChar(' ');
  out.Append(appVersion, versionLen);
  out.AppendChar('?');
}

RequiredFilesMessage::RequiredFilesMessage(const char* downloadSite)
    : site_(downloadSite), missing_(0), listed_(0), cut_(false) {
  // The site may take whatever the fixed parts and the cut mark leave; the names then
  // share what the site leaves.
  siteLength_ = CappedLength(downloadSite, Text::capacity() - kFixed);
  text_.Set(kHeader);
}

void RequiredFilesMessage::AddMissing(const char* dir, const char* name) {
  missing_++;
  if (cut_) return;
  unsigned tail = sizeof kSitePrefix - 1 + siteLength_ + sizeof kClosing - 1;
  unsigned dirLen = (unsigned)strlen(dir);
  unsigned pathLen = dirLen + (unsigned)strlen(name);
  if (text_.length() + pathLen + 1 + tail <= Text::capacity() && listed_ < sizeof starts_ / sizeof starts_[0]) {
    starts_[listed_++] = (unsigned short)text_.length();
    text_.Append(dir, dirLen);
    text_.Append(name, pathLen - dirLen);
    text_.AppendChar('\n');
    return;
  }
  // Leave this name and every later one out; make room for the "..." line by dropping the
  // last names listed where needed.
  cut_ = true;
  while (text_.length() + sizeof kCutMark - 1 + tail > Text::capacity() && listed_ > 0)
    text_.Truncate(starts_[--listed_]);
  text_.Append(kCutMark);
}

const RequiredFilesMessage::Text& RequiredFilesMessage::Finish() {
  text_.Append(kSitePrefix);
  text_.Append(site_, siteLength_);
  text_.Append(kClosing);
  return text_;
}
