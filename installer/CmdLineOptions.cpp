#include "installer/CmdLineOptions.h"

#include <cwchar>

#include "platform/format.h"
#include "platform/text.h"

namespace {

const CmdLineOptionSpec kOptions[] = {
    {L'n', L"none", 0, 1},
    {L'h', L"hide", 0, 0},
    {L'i', L"id", 1, 1},
    {L'r', L"run", 1, 1},
    {0, nullptr, 0, 0},
};

// The parser formats its messages into a buffer of 128 characters.
constexpr size_t kMessageChars = 127;

bool IsOptionWord(const std::wstring& word) { return !word.empty() && (word[0] == L'-' || word[0] == L'/'); }

const CmdLineOptionSpec* FindByKey(wchar_t key) {
  for (const CmdLineOptionSpec* o = kOptions; o->key != 0; ++o)
    if (o->key == key) return o;
  return nullptr;
}

const CmdLineOptionSpec* FindByLongName(const std::wstring& name) {
  for (const CmdLineOptionSpec* o = kOptions; o->key != 0; ++o)
    if (name == o->longName) return o;
  return nullptr;
}

// The table entry the word stands for; null when it names no option.
const CmdLineOptionSpec* Classify(const std::wstring& word) {
  if (!IsOptionWord(word)) return FindByKey(L'n');
  if (word[0] == L'-' && word.size() >= 2) {
    if (word[1] == L'-') {
      if (word.size() >= 3) return FindByLongName(word.substr(2));
    } else {
      return FindByKey(word[1]);
    }
  }
  return FindByKey(L'n');  // a bare "-" or "--", or anything starting with "/"
}

std::wstring Cut(std::wstring text) {
  if (text.size() > kMessageChars) text.resize(kMessageChars);
  return text;
}

}  // namespace

const CmdLineOptionSpec* InstallerOptionTable() { return kOptions; }

CCmdLineOptions::CCmdLineOptions(int argc, const wchar_t* const* argv) { Parse(argc, argv); }

void CCmdLineOptions::Parse(int argc, const wchar_t* const* argv) {
  if (argc <= 0 || argv == nullptr) {
    message = L"no args were found";
    error = kNoArgs;
    return;
  }
  std::vector<std::wstring> v;
  for (int k = 0; k < argc; ++k) v.emplace_back(argv[k] != nullptr ? argv[k] : L"");
  const size_t n = v.size();
  size_t i = IsOptionWord(v[0]) ? 0 : 1;
  while (i < n) {
    const CmdLineOptionSpec* option = Classify(v[i]);
    if (option == nullptr) {
      message = Cut(platform::StrFormat(L"unrecognized option %s", v[i]));
      error = kUnrecognized;
      std::vector<std::wstring> rest{v[i]};
      for (++i; i < n && !IsOptionWord(v[i]); ++i) rest.push_back(v[i]);
      EntryFor(0).lists.push_back(std::move(rest));
      return;
    }
    if (IsOptionWord(v[i])) ++i;
    std::vector<std::wstring> values;
    while (i < n && static_cast<int32_t>(values.size()) < option->maxValues && !IsOptionWord(v[i])) {
      if (!platform::Trim(v[i]).empty()) values.push_back(v[i]);
      ++i;
    }
    if (static_cast<int32_t>(values.size()) < option->minValues) {
      message = Cut(platform::StrFormat(L"--%s requires at least %d and at most %d args, yours: %d", option->longName,
                                        option->minValues, option->maxValues, static_cast<int32_t>(values.size())));
      error = kWrongValueCount;
      return;
    }
    EntryFor(option->key).lists.push_back(std::move(values));
  }
}

CCmdLineOptions::Entry& CCmdLineOptions::EntryFor(wchar_t key) {
  for (auto& entry : entries)
    if (entry->key == key) return *entry;
  entries.push_back(std::make_unique<Entry>(Entry{key, {}}));
  return *entries.back();
}

const CCmdLineOptions::Entry* CCmdLineOptions::Find(wchar_t key) const {
  for (const auto& entry : entries)
    if (entry->key == key) return entry.get();
  return nullptr;
}

bool CCmdLineOptions::Has(wchar_t key) const { return Find(key) != nullptr; }

bool CCmdLineOptions::GetFirst(wchar_t key, std::wstring& value) const {
  const Entry* entry = Find(key);
  if (entry == nullptr || entry->lists.empty() || entry->lists.front().empty()) return false;
  value = entry->lists.front().front();
  return true;
}
