#include "os/sim/journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace ombrelin::os::sim {
namespace {

class JournalFile : public ::testing::Test {
 protected:
  JournalFile() {
    const int fd = ::mkstemp(path_.data());
    EXPECT_GE(fd, 0);
    ::close(fd);
  }
  ~JournalFile() override { ::unlink(path_.c_str()); }

  UniqueFd open_for_append() const {
    return UniqueFd(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  }
  std::string contents() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream out;
    out << in.rdbuf();
    return out.str();
  }

  std::string path_ = ::testing::TempDir() + "journal_test_XXXXXX";
};

TEST_F(JournalFile, AppendsWholeLines) {
  {
    Journal journal(open_for_append());
    journal.record(R"({"call":"DestroyWindow","window":1})");
    journal.record(R"({"call":"SetWindowTextW","window":1,"text":"a b"})");
  }
  {
    Journal reopened(open_for_append());
    reopened.record("{}");
  }
  EXPECT_EQ(contents(),
            "{\"call\":\"DestroyWindow\",\"window\":1}\n"
            "{\"call\":\"SetWindowTextW\",\"window\":1,\"text\":\"a b\"}\n{}\n");
}

TEST_F(JournalFile, InactiveJournalRecordsNothing) {
  Journal inactive;
  inactive.record("{}");
  EXPECT_EQ(contents(), "");
}

TEST_F(JournalFile, ConcurrentRecordsNeverInterleave) {
  constexpr int kThreads = 6;
  constexpr int kRecords = 300;
  constexpr std::size_t kLineBytes = 5000;  // larger than one pipe or page write unit
  {
    Journal journal(open_for_append());
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&journal, t] {
        const std::string line(kLineBytes, static_cast<char>('a' + t));
        for (int i = 0; i < kRecords; ++i) {
          journal.record(line);
        }
      });
    }
  }
  std::istringstream lines(contents());
  std::vector<int> per_thread(kThreads);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    ASSERT_EQ(line.size(), kLineBytes);
    ASSERT_EQ(line.find_first_not_of(line[0]), std::string::npos)
        << "interleaved at line " << count;
    ++per_thread.at(static_cast<std::size_t>(line[0] - 'a'));
  }
  EXPECT_EQ(count, kThreads * kRecords);
  for (const int n : per_thread) {
    EXPECT_EQ(n, kRecords);
  }
}

}  // namespace
}  // namespace ombrelin::os::sim
