#include "installer/CmdLineOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/MainApp.h"

namespace {

// The store written as "key:[v,v][v] key:[]" in order of first appearance (key 0 as "0").
std::wstring Describe(const CCmdLineOptions& options) {
  std::wstring out;
  for (const auto& entry : options.entries) {
    if (!out.empty()) out += L' ';
    out += entry->key == 0 ? L'0' : entry->key;
    out += L':';
    for (const auto& list : entry->lists) {
      out += L'[';
      for (size_t i = 0; i < list.size(); ++i) out += (i ? L"," : L"") + list[i];
      out += L']';
    }
  }
  return out;
}

CCmdLineOptions* Parse(std::vector<std::wstring> args, bool withProgram = true) {
  static std::vector<std::wstring> storage;
  storage = std::move(args);
  if (withProgram) storage.insert(storage.begin(), L"C:\\installer.exe");
  std::vector<const wchar_t*> argv;
  for (const std::wstring& a : storage) argv.push_back(a.c_str());
  return new CCmdLineOptions(static_cast<int>(argv.size()), argv.data());
}

struct Case {
  std::vector<std::wstring> args;
  const wchar_t* store;
  int32_t error;
  const wchar_t* message;
};

TEST(CmdLineOptionsTest, ParsesTheTable) {
  const Case cases[] = {
      {{}, L"", 0, L""},
      {{L"-i", L"5", L"-h"}, L"i:[5] h:[]", 0, L""},
      {{L"--run", L"0"}, L"r:[0]", 0, L""},
      {{L"abc"}, L"n:[abc]", 0, L""},
      {{L"/x", L"abc"}, L"n:[abc]", 0, L""},  // the word /x is dropped
      {{L"-h", L"5"}, L"h:[] n:[5]", 0, L""},
      {{L"-i", L"5", L"-i", L"7"}, L"i:[5][7]", 0, L""},
      {{L"-r", L"  ", L"1"}, L"r:[1]", 0, L""},  // a blank value is skipped without counting
      {{L"--hide", L"-", L"--"}, L"h:[] n:[][]", 0, L""},
      {{L"-hx"}, L"h:[]", 0, L""},  // only the letter after the dash counts
      {{L"-i"}, L"", 1, L"--id requires at least 1 and at most 1 args, yours: 0"},
      {{L"-h", L"-i", L"-r", L"1"}, L"h:[]", 1, L"--id requires at least 1 and at most 1 args, yours: 0"},
      {{L"-x", L"a", L"b", L"-h"}, L"0:[-x,a,b]", 2, L"unrecognized option -x"},
      {{L"-h", L"--Hide"}, L"h:[] 0:[--Hide]", 2, L"unrecognized option --Hide"},  // long names keep case
      {{L"-i", L"5", L"--bogus"}, L"i:[5] 0:[--bogus]", 2, L"unrecognized option --bogus"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<CCmdLineOptions> options(Parse(c.args));
    std::wstring joined;
    for (const auto& a : c.args) joined += a + L" ";
    SCOPED_TRACE(std::string(joined.begin(), joined.end()));
    EXPECT_EQ(Describe(*options), c.store);
    EXPECT_EQ(options->error, c.error);
    EXPECT_EQ(options->message, c.message);
  }
}

TEST(CmdLineOptionsTest, NoArgumentsAndAFirstWordThatIsAnOption) {
  std::unique_ptr<CCmdLineOptions> none(new CCmdLineOptions(0, nullptr));
  EXPECT_EQ(none->error, 3);
  EXPECT_EQ(none->message, L"no args were found");

  // A vector that starts with an option has no program path to skip.
  std::unique_ptr<CCmdLineOptions> bare(Parse({L"-i", L"9"}, false));
  EXPECT_EQ(Describe(*bare), L"i:[9]");
}

TEST(CmdLineOptionsTest, MessagesStayWithinTheirBuffer) {
  const std::wstring longWord = L"--" + std::wstring(300, L'z');
  std::unique_ptr<CCmdLineOptions> options(Parse({longWord}));
  EXPECT_EQ(options->error, 2);
  EXPECT_EQ(options->message.size(), 127u);
  EXPECT_EQ(options->message.substr(0, 22), L"unrecognized option --");
}

TEST(CmdLineOptionsTest, GetFirstAndHas) {
  std::unique_ptr<CCmdLineOptions> options(Parse({L"-h", L"-i", L"5", L"-i", L"7"}));
  std::wstring value = L"untouched";
  EXPECT_TRUE(options->Has(L'h'));
  EXPECT_FALSE(options->GetFirst(L'h', value));  // present, without values
  EXPECT_EQ(value, L"untouched");
  EXPECT_TRUE(options->GetFirst(L'i', value));
  EXPECT_EQ(value, L"5");
  EXPECT_FALSE(options->Has(L'r'));
  EXPECT_FALSE(options->GetFirst(L'r', value));
}

TEST(CmdLineOptionsTest, TheApplicationTakesHideIdAndRun) {
  struct AppCase {
    std::vector<std::wstring> args;
    bool hide;
    int32_t id;
    bool run;
  };
  const AppCase cases[] = {
      {{}, false, 0, true},
      {{L"-h", L"-i", L"5", L"-r", L"0"}, true, 5, false},
      {{L"-i", L"5", L"-i", L"7"}, false, 5, true},
      {{L"-r", L"4294967296"}, false, 0, false},  // the low 32 bits are 0
      {{L"-r", L"4294967297"}, false, 0, true},
      {{L"-i", L"4294967301"}, false, 5, true},
      {{L"-i", L"abc"}, false, 0, true},
      {{L"-i", L"-5"}, false, 0, true},  // "-5" is an option word, so -i has no value: error 1
      {{L"-h", L"-x", L"-i", L"5"}, true, 0, true},  // options before an error stay in effect
  };
  for (const AppCase& c : cases) {
    std::unique_ptr<CCmdLineOptions> options(Parse(c.args));
    CMainApp* app = CMainApp::GetInstance();
    app->m_hide = false;
    app->m_id = 0;
    app->m_run = true;
    app->ApplyCommandLine(*options);
    std::wstring joined;
    for (const auto& a : c.args) joined += a + L" ";
    SCOPED_TRACE(std::string(joined.begin(), joined.end()));
    EXPECT_EQ(app->m_hide, c.hide);
    EXPECT_EQ(app->m_id, c.id);
    EXPECT_EQ(app->m_run, c.run);
  }
}

}  // namespace
