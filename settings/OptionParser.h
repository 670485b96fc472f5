// OptionParser: the installer's command-line grammar. Options are
// registered with AddOption; Parse splits the line into elements (blank
// separated, double quotes delimit an element, no escapes), drops the
// program path and turns the rest into ParsedOption entries: each option
// by its long name, plus at most one free-text entry (empty name) at the
// end. Every error is a std::runtime_error with a fixed English text.
#pragma once

#include <string>
#include <vector>

struct OptionDefinition {
  enum ArgumentKind { NoArgument = 0, OptionalArgument = 1, MandatoryArgument = 2 };

  std::wstring longName;
  wchar_t shortName;  // 0 when the option has no short form
  int argumentKind;
};

struct ParsedOption {
  bool hasValue = false;
  std::wstring name;  // empty for the free-text entry
  std::wstring value;

  std::wstring GetValue() const { return value; }
};

class OptionParser {
 public:
  // Throws "attempt to add same option twice" for a repeated long name.
  void AddOption(const OptionDefinition& definition);
  // Parses a whole command line, program path first.
  void Parse(const std::wstring& commandLine);
  // Splits a command line into its elements (quotes removed).
  static std::vector<std::wstring> Tokenize(const std::wstring& commandLine);

  // Consumes the leading elements that form one entry.
  void ParseOne(std::vector<std::wstring>& elements);
  const OptionDefinition& FindShortOption(const std::wstring& text) const;
  const OptionDefinition& FindLongOption(const std::wstring& text) const;
  // Throws "same option specified twice" for a name already parsed.
  void AddParsedOption(const ParsedOption& entry);

  const std::vector<ParsedOption>& GetParsedOptions() const { return m_parsedOptions; }

  std::vector<OptionDefinition> m_definitions;
  std::vector<ParsedOption> m_parsedOptions;
};
