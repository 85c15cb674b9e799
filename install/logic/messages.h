#pragma once
// Texts that the installer composes from install-script values of any length, each built
// into a fixed buffer that is never overrun. No platform headers.
#include "common/fixed_text.h"

// SetupName: AppName + " " + AppVersion + " setup", at most 55 characters. A name and
// version too long for it are cut: the version first, then the name, so that " setup"
// always stands at the end.
typedef FixedText<56> SetupNameText;
void BuildSetupName(const char* appName, const char* appVersion, SetupNameText& out);

// The window title: companyName + " - " + setupName, at most 259 characters; a company
// name too long for it is cut.
typedef FixedText<260> TitleText;
void BuildWindowTitle(const char* companyName, const char* setupName, TitleText& out);

// The confirmation question: "Are you sure you want to install " + AppName + " " +
// AppVersion + "?", at most 259 characters; the version, then the name are cut to fit.
typedef FixedText<260> QuestionText;
void BuildConfirmText(const char* appName, const char* appVersion, QuestionText& out);

// The required-files message, 1040 bytes with its terminator:
//   "Sorry, you do not seem to have these required files:\n\n"
//   one full path + "\n" per missing file, in list order
//   "\nYou may be able to get these files from the Orv download site at " + site +
//   "\n\nPress Cancel to abort the installation or OK to continue"
// Names that do not fit are left out, from the first that does not fit on, and the list
// then ends with a line "..." in their place. A download site too long for the message is
// cut so that the closing line always stands whole.
class RequiredFilesMessage {
 public:
  typedef FixedText<1040> Text;

  explicit RequiredFilesMessage(const char* downloadSite);
  // Notes one missing file, whose full path is dir followed by name.
  void AddMissing(const char* dir, const char* name);
  bool AnyMissing() const { return missing_ != 0; }
  unsigned MissingCount() const { return missing_; }
  unsigned ListedCount() const { return listed_; }
  // The finished message; call once, after the last AddMissing.
  const Text& Finish();

 private:
  Text text_;
  const char* site_;
  unsigned siteLength_;  // the part of the site that is shown
  unsigned missing_;
  unsigned listed_;
  bool cut_;
  // Where each listed name starts, so that names can be taken back whole.
  unsigned short starts_[Text::capacity() / 2];
};
