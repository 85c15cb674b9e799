#include "tools/orv/options.h"

#include <string.h>

#include <utility>

namespace {

// Whether names ("-o|--output") holds arg as one of its spellings.
bool Spells(const char* names, const std::string& arg) {
  for (const char* p = names;;) {
    const char* bar = strchr(p, '|');
    size_t length = bar ? (size_t)(bar - p) : strlen(p);
    if (arg.size() == length && arg.compare(0, length, p, length) == 0) return true;
    if (!bar) return false;
    p = bar + 1;
  }
}

// Wrong usage, in the table's way of saying it.
int Refuse(const VerbOptions& table, const std::string& message, bool unknownOption, FILE* err) {
  if (!table.usage) return UsageError(table.verb, message, err);
  if (unknownOption) fprintf(err, "orv %s: %s\n", table.verb, message.c_str());
  fprintf(err, "%s\n", table.usage);
  return 2;
}

}  // namespace

VerbOption FlagOption(const char* names, bool* flag) {
  VerbOption o;
  o.names = names;
  o.flag = flag;
  return o;
}

VerbOption ValueOption(const char* names, std::string* value, const char* needs,
                       std::function<std::string(const std::string&)> check) {
  VerbOption o;
  o.names = names;
  o.value = value;
  o.needs = needs;
  o.check = std::move(check);
  return o;
}

int ParseVerbOptions(const VerbOptions& table, int argc, char** argv, std::vector<std::string>* arguments,
                     FILE* out, FILE* err) {
  arguments->clear();
  for (int i = 0; i < argc; i++) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      fputs(table.help, out);
      return 0;
    }
    const VerbOption* option = nullptr;
    for (const VerbOption& o : table.options)
      if (Spells(o.names, a)) {
        option = &o;
        break;
      }
    if (option && option->flag) {
      *option->flag = true;
    } else if (option) {
      if (i + 1 == argc) return Refuse(table, option->needs ? option->needs : "", false, err);
      *option->value = argv[++i];
      std::string why = option->check ? option->check(*option->value) : std::string();
      if (!why.empty()) return Refuse(table, why, false, err);
    } else if (a.size() > 1 && a[0] == '-' && !table.passUnknown) {
      return Refuse(table, table.unknown + a, true, err);
    } else if (table.takes && !table.takes(a)) {
      return Refuse(table, "unexpected argument " + a, false, err);
    } else {
      arguments->push_back(a);
    }
  }
  if (arguments->size() < table.minArguments || arguments->size() > table.maxArguments)
    return Refuse(table, table.arguments ? table.arguments : "", false, err);
  return -1;
}

int UsageError(const char* verb, const std::string& message, FILE* err) {
  fprintf(err, "orv %s: %s (see orv %s --help)\n", verb, message.c_str(), verb);
  return 2;
}
