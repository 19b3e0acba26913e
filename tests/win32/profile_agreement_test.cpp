// Holds the portable profile rules against the real Windows functions, file by file and key by
// key, so that the POSIX build reads patch.sys as the Windows build does.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/profile_rules.h"
#include "tests/support/scratch_folder.h"

namespace {

using testing::PrintToString;

struct TrickyFile {
  std::string name;
  std::string content;
  std::vector<std::string> sections;
  std::vector<std::string> keys;
};

const std::vector<std::size_t> kSizes = {0, 1, 2, 3, 4, 5, 8, 256, 6000};

const std::vector<std::string> kDefaults = {"dflt", "",         "trailing   ", "   ",
                                            " ",    "  lead\t", "\"quoted\"",  "\"quoted\"   ",
                                            "'a'",  "\"",       "\"\"",        "\"abc\""};

std::vector<TrickyFile> TrickyFiles() {
  using namespace std::string_literals;
  return {
      {"blanks.ini",
       "[S]\r\n  Key  =  value  \r\n\tTab\t=\tv\t\r\n ;c = semi \r\n#h=hash\r\n"
       "my key = inner blank \r\neq=a=b=c\r\nsp =   \r\n=noname\r\nBare\r\n\x0bvt=\x0c"
       "ff\x1a\r\n",
       {"S", "s", " S ", "\tS\x1a"},
       {"Key", "KEY", " key ", "Tab", ";c", "#h", "my key", "my  key", "eq", "sp", "", "  ", "Bare",
        "vt"}},
      {"quotes.ini",
       "[Q]\r\nd=\"double\"\r\ns='single'\r\nmixed=\"a'\r\nlone=\"\r\nlone1='\r\nempty=\"\"\r\n"
       "empty1=''\r\ntriple=\"\"\"\r\ninner=a\"b\"\r\nmid=\"a\"b\"\r\npadded=  \" x \"  \r\n"
       "short=\"a\"\r\nnum=\"42\"\r\nnumblank=\" -7\"\r\n",
       {"Q"},
       {"d", "s", "mixed", "lone", "lone1", "empty", "empty1", "triple", "inner", "mid", "padded",
        "short", "num", "numblank"}},
      {"duplicates.ini",
       "[Zone]\r\nName=first\r\nName=second\r\nLater\r\nLater=x\r\n[Other]\r\nName=other\r\n"
       "[zone]\r\nName=third\r\nOnlyHere=y\r\n",
       {"Zone", "ZONE", "Other"},
       {"Name", "Later", "OnlyHere"}},
      {"headers.ini",
       "  [  A  B  ]  \r\nk=ab\r\n[T]x\r\nk=t\r\n[y ] z ]\r\nk=yz\r\n[abc\r\nk=afterbad\r\n"
       "[k]=v\r\nk2=in k\r\n[]\r\nk=emptyname\r\n[\tTabbed\t]\r\nk=tab\r\n[x];comment\r\n"
       "k=xc\r\n;[hidden]\r\nk=notsection\r\n",
       {"A  B", "A B", "T", "T]x", "y ] z", "y", "abc", "[abc", "k", "", "Tabbed", "x", "hidden"},
       {"k", "k2", "[abc", ";[hidden]"}},
      {"top.ini", "k=top\r\n[S]\r\nk=v\r\n", {"", "S"}, {"k"}},
      {"lf.ini", "[S]\na=1\n\nb=2\n", {"S"}, {"a", "b"}},
      {"cr.ini", "[S]\ra=1\rb=2\r\r\nc=3\r", {"S"}, {"a", "b", "c"}},
      {"nolastend.ini", "[S]\r\na=1\r\nlast=nonl", {"S"}, {"a", "last"}},
      {"bom.ini", "\xEF\xBB\xBF[S]\r\na=1\r\n", {"S"}, {"a"}},
      {"bomtop.ini", "\xEF\xBB\xBFk=top\r\n", {""}, {"k"}},
      {"empty.ini", "", {"S", ""}, {"k"}},
      {"blankonly.ini", " \r\n\t\r\n\x1a", {"S", ""}, {"k"}},
      {"long.ini",
       "[S]\r\nlong=" + std::string(5000, 'x') + "\r\nafter=ok\r\n[" + std::string(3000, 'n') +
           "]\r\n" + std::string(2000, 'k') + "=v\r\n",
       {"S", std::string(3000, 'n')},
       {"long", "after", std::string(2000, 'k')}},
      {"ints.ini",
       "[N]\r\na=+5\r\nb=0x10\r\nc=12abc\r\nd= 7\r\ne=4294967297\r\nf=\r\ng=-12\r\nh=0X10\r\n"
       "i=0o17\r\nj=0b101\r\nk=-0x10\r\nl=abc\r\nm=\"\"\r\nn=- 5\r\n"
       "p=123456789012345678901234567890123\r\nq=\"42\"\r\nr=\"\t9\"\r\ns=--5\r\nt=+-5\r\n"
       "u=2147483648\r\nv=-2147483649\r\nw=0x\r\nx=ff\r\ny=0b2\r\nz=0xFFFFFFFF\r\n",
       {"N"},
       {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m",
        "n", "p", "q", "r", "s", "t", "u", "v", "w", "x", "y", "z"}},
      {"highbytes.ini", "[S\xe9]\r\nk\xc9=v\xe9\r\n", {"S\xe9", "S\xc9"}, {"k\xc9", "k\xe9"}},
      {"nul.ini", "[S]\r\nz=a\0b\r\nk\0x=1\r\nafter=1\r\n"s, {"S"}, {"z", "k", "after"}},
  };
}

std::string RealString(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& fallback, std::size_t size) {
  std::vector<char> buffer(size + 1, '\0');
  DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(),
                                          buffer.data(), static_cast<DWORD>(size), path.c_str());
  return std::string(buffer.data(), length);
}

// Compares one lookup; says which when they differ.
class Agreement {
 public:
  void String(const std::string& path, const std::string& section, const std::string& key,
              const std::string& fallback, std::size_t size) {
    ++lookups_;
    std::string real = RealString(path, section, key, fallback, size);
    std::string rules = platform::posix_profile::LookUpString(path, section, key, fallback, size);
    if (real == rules) return;
    ++disagreements_;
    ADD_FAILURE() << path << " [" << PrintToString(section) << "] " << PrintToString(key)
                  << " default " << PrintToString(fallback) << " size " << size << ": Windows "
                  << PrintToString(real) << ", rules " << PrintToString(rules);
  }

  void Int(const std::string& path, const std::string& section, const std::string& key) {
    ++lookups_;
    int real =
        static_cast<int>(GetPrivateProfileIntA(section.c_str(), key.c_str(), -7, path.c_str()));
    int rules = platform::posix_profile::LookUpInt(path, section, key, -7);
    if (real == rules) return;
    ++disagreements_;
    ADD_FAILURE() << path << " [" << PrintToString(section) << "] " << PrintToString(key)
                  << " as integer"
                  << ": Windows " << real << ", rules " << rules;
  }

  int lookups() const { return lookups_; }
  int disagreements() const { return disagreements_; }

 private:
  int lookups_ = 0;
  int disagreements_ = 0;
};

TEST(ProfileAgreementTest, RulesReadTrickyFilesAsWindowsDoes) {
  ScratchFolder folder;
  Agreement agreement;
  for (const TrickyFile& file : TrickyFiles()) {
    folder.Write(file.name, file.content);
    std::string path = folder.path() + "\\" + file.name;
    std::vector<std::string> sections = file.sections;
    sections.push_back("Missing");
    std::vector<std::string> keys = file.keys;
    keys.push_back("missing");
    for (const std::string& section : sections) {
      for (const std::string& key : keys) {
        for (std::size_t size : kSizes) agreement.String(path, section, key, "dflt", size);
        agreement.Int(path, section, key);
      }
    }
    for (const std::string& fallback : kDefaults) {
      for (std::size_t size : kSizes) {
        agreement.String(path, file.sections.front(), "missing", fallback, size);
      }
    }
  }
  EXPECT_EQ(agreement.disagreements(), 0) << "of " << agreement.lookups() << " lookups";
}

TEST(ProfileAgreementTest, FilesThatCannotBeReadGiveTheDefaultAlike) {
  ScratchFolder folder;
  ASSERT_TRUE(CreateDirectoryA((folder.path() + "\\adir").c_str(), nullptr));
  Agreement agreement;
  for (const char* name : {"absent.ini", "nofolder\\x.ini", "adir", "adir\\"}) {
    std::string path = folder.path() + "\\" + name;
    for (const std::string& fallback : kDefaults) {
      for (std::size_t size : kSizes) agreement.String(path, "S", "k", fallback, size);
    }
    agreement.Int(path, "S", "k");
  }
  EXPECT_EQ(agreement.disagreements(), 0) << "of " << agreement.lookups() << " lookups";
}

}  // namespace
