#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/process.h"

namespace {

struct SplitCase {
  const char* name;
  std::wstring line;
  std::vector<std::wstring> argv;
};

class CommandLineSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineSplit, GivesTheRuntimesArgumentVector) {
  EXPECT_EQ(platform::CommandLineToArgv(GetParam().line), GetParam().argv);
}

const SplitCase kCases[] = {
    {"Empty", L"", {}},
    {"ProgramAlone", L"a.exe", {L"a.exe"}},
    {"LauncherLine", L"C:\\Games\\Q\\VelkorLauncher.exe -i \"42\" -d",
     {L"C:\\Games\\Q\\VelkorLauncher.exe", L"-i", L"42", L"-d"}},
    {"InstallerLine", L"C:\\dl\\pkg.exe /S \"/unpack=C:\\Games\\Q\" /launch=off",
     {L"C:\\dl\\pkg.exe", L"/S", L"/unpack=C:\\Games\\Q", L"/launch=off"}},
    // A directory argument ending in a backslash swallows its closing quote.
    {"BackslashBeforeClosingQuote", L"p.exe \"/unpack=C:\\Games\\Q\\\" /launch=off",
     {L"p.exe", L"/unpack=C:\\Games\\Q\" /launch=off"}},
    {"QuotedProgramWithSpace", L"\"C:\\Program Files\\x.exe\" a", {L"C:\\Program Files\\x.exe", L"a"}},
    {"ProgramBackslashesArePlain", L"\"C:\\dir\\\\\" b", {L"C:\\dir\\\\", L"b"}},
    {"ProgramQuotesToggle", L"\"a\"b\" c d\" e", {L"ab c d", L"e"}},
    {"LeadingBlankGivesEmptyProgram", L" a b", {L"", L"a", L"b"}},
    {"TabsSeparate", L"p\ta\t\tb", {L"p", L"a", L"b"}},
    {"TrailingBlanksAddNothing", L"p a  \t ", {L"p", L"a"}},
    {"QuotedArgument", L"p \"a b\" c", {L"p", L"a b", L"c"}},
    {"EmptyQuotedArgument", L"p \"\" x \"\"", {L"p", L"", L"x", L""}},
    {"PlainBackslashes", L"p a\\\\b c\\", {L"p", L"a\\\\b", L"c\\"}},
    {"EvenBackslashesThenQuoteDelimits", L"p a\\\\\"b c\"", {L"p", L"a\\b c"}},
    {"OddBackslashesThenQuoteIsLiteral", L"p a\\\"b", {L"p", L"a\"b"}},
    {"ThreeBackslashesThenQuote", L"p a\\\\\\\"b", {L"p", L"a\\\"b"}},
    {"DoubledQuoteInsideQuotesStaysQuoted", L"p \"a\"\"b c\"", {L"p", L"a\"b c"}},
    {"TripleQuotes", L"p \"\"\"a\"\"\"", {L"p", L"\"a\""}},
    {"QuotesInsideAnArgument", L"p a\"b c\"d", {L"p", L"ab cd"}},
    {"UnterminatedQuoteRunsToTheEnd", L"p \"a  b", {L"p", L"a  b"}},
    {"NonAscii", L"p \"游戏 目录\" é", {L"p", L"游戏 目录", L"é"}},
    {"EndsAtNul", std::wstring(L"p a\0b", 5), {L"p", L"a"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineSplit, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

}  // namespace
