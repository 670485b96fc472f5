// The command-line grammar: tokenizer state machine and option matching.
#include "settings/OptionParser.h"

#include <stdexcept>

#include "platform/PathUtils.h"

void OptionParser::AddOption(const OptionDefinition& definition) {
  for (const OptionDefinition& d : m_definitions) {
    if (d.longName == definition.longName)
      throw std::runtime_error("attempt to add same option twice");
  }
  m_definitions.push_back(definition);
}

std::vector<std::wstring> OptionParser::Tokenize(const std::wstring& line) {
  enum State { BetweenElements, InQuoted, AfterQuote, InBare };
  std::vector<std::wstring> elements;
  State state = BetweenElements;
  std::wstring current;
  for (wchar_t c : line) {
    switch (state) {
      case BetweenElements:
        if (c == L'"') {
          current.clear();
          state = InQuoted;
        } else if (c != L' ') {
          current.assign(1, c);
          state = InBare;
        }
        break;
      case InQuoted:
        if (c == L'"') {
          if (current.empty()) throw std::runtime_error("empty quoted");
          elements.push_back(current);
          state = AfterQuote;
        } else {
          current += c;
        }
        break;
      case AfterQuote:
        if (c != L' ') throw std::runtime_error("expected space");
        state = BetweenElements;
        break;
      case InBare:
        if (c == L'"') throw std::runtime_error("quotation in the middle of element");
        if (c == L' ') {
          elements.push_back(current);
          state = BetweenElements;
        } else {
          current += c;
        }
        break;
    }
  }
  if (state == InBare) elements.push_back(current);
  if (state == InQuoted) throw std::runtime_error("unexpected end of line");
  return elements;
}

void OptionParser::Parse(const std::wstring& commandLine) {
  m_parsedOptions.clear();
  std::vector<std::wstring> elements = Tokenize(commandLine);
  if (!elements.empty()) elements.erase(elements.begin());
  while (!elements.empty()) ParseOne(elements);
}

const OptionDefinition& OptionParser::FindShortOption(const std::wstring& text) const {
  if (text.size() != 1) throw std::runtime_error("invalid short argument");
  for (const OptionDefinition& d : m_definitions) {
    if (d.shortName != 0 && d.shortName == text[0]) return d;
  }
  throw std::runtime_error("short option not found");
}

const OptionDefinition& OptionParser::FindLongOption(const std::wstring& text) const {
  for (const OptionDefinition& d : m_definitions) {
    if (d.longName == text) return d;
  }
  throw std::runtime_error("long option not found");
}

void OptionParser::AddParsedOption(const ParsedOption& entry) {
  for (const ParsedOption& p : m_parsedOptions) {
    if (p.name == entry.name) throw std::runtime_error("same option specified twice");
  }
  m_parsedOptions.push_back(entry);
}

void OptionParser::ParseOne(std::vector<std::wstring>& elements) {
  const std::wstring first = elements.front();
  if (first == L"--") {
    elements.erase(elements.begin());
    ParsedOption freeText;
    freeText.hasValue = true;
    freeText.value = JoinWithSpaces(elements);
    if (!freeText.value.empty()) m_parsedOptions.push_back(freeText);
    elements.clear();
    return;
  }
  if (first.empty() || first[0] != L'-') {
    ParsedOption freeText;
    freeText.hasValue = true;
    freeText.value = JoinWithSpaces(elements);
    m_parsedOptions.push_back(freeText);
    elements.clear();
    return;
  }
  const OptionDefinition& definition = first.size() > 1 && first[1] == L'-'
                                           ? FindLongOption(first.substr(2))
                                           : FindShortOption(first.substr(1));
  elements.erase(elements.begin());
  ParsedOption entry;
  entry.name = definition.longName;
  bool valueAvailable = !elements.empty() && (elements.front().empty() || elements.front()[0] != L'-');
  if (definition.argumentKind == OptionDefinition::MandatoryArgument && !valueAvailable)
    throw std::runtime_error("missing mandatory argument");
  if (definition.argumentKind != OptionDefinition::NoArgument && valueAvailable) {
    entry.value = elements.front();
    entry.hasValue = true;
    elements.erase(elements.begin());
  }
  AddParsedOption(entry);
}
