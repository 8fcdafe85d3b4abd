// The file writer against failures provoked for real: writes cut by a
// file-size limit (in a child process, so that the limit binds only there), a
// folder where the file should go, a descriptor that fails to close. Whatever
// fails, the file keeps its earlier content or whole records only, no
// temporary stays, and the error names the file and the reason.
#include "core/file_writer.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <tuple>

#include "core/errors.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::ScratchDir;
using testing::write_file;

// The message of the WriteError that `body` throws ("no error" if none), run
// in a child process under a file-size limit of `limit` bytes (-1: none),
// SIGXFSZ at its default disposition: the writer itself turns a write past
// the limit into EFBIG.
std::string write_error_of(const std::function<void()>& body, long limit = -1) {
  int pipe_fd[2];
  if (::pipe(pipe_fd) != 0) return "no pipe";
  if (const pid_t pid = ::fork(); pid == 0) {
    const rlimit r{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    if (limit >= 0 && (::signal(SIGXFSZ, SIG_DFL) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &r) != 0)) ::_exit(1);
    std::string message = "no error";
    try {
      body();
    } catch (const WriteError& e) {
      message = e.what();
    }
    ::_exit(::write(pipe_fd[1], message.data(), message.size()) < 0);
  } else {
    ::close(pipe_fd[1]);
    char buffer[1024];
    const ssize_t got = ::read(pipe_fd[0], buffer, sizeof buffer);
    ::close(pipe_fd[0]);
    ::waitpid(pid, nullptr, 0);
    return std::string(buffer, std::max<ssize_t>(got, 0));
  }
}

TEST(FileWriter, AnAppendCutByTheSizeLimitLeavesWholeRecords) {
  ScratchDir dir;
  const std::string record(30, 'r');
  // a header of 7 bytes and records of 31 under a limit of 110: the fourth
  // record stops after 10 of its bytes, which the writer takes back
  const std::string message = write_error_of(
      [&] {
        AppendedFile f;
        f.open(dir / "h.dat", kPrefixedOrigin, true);
        f.write_record("header\n");
        for (int k = 0; k < 5; ++k) f.write_record(record + "\n");
      },
      110);
  EXPECT_EQ(read_file(dir / "h.dat"), "header\n" + record + "\n" + record + "\n" + record + "\n");
  EXPECT_EQ(message, (dir / "h.dat").string() + ": impossibile scrivere il file (File too large); " + std::string(kPrefixedOrigin.in(Language::it)));
  // a FIFO at the name is refused at once: nothing waits for a reader
  ASSERT_EQ(::mkfifo((dir / "f.dat").c_str(), 0644), 0);
  EXPECT_EQ(write_error_of([&] { AppendedFile().open(dir / "f.dat", kPrefixedOrigin, false); }),
            (dir / "f.dat").string() + ": impossibile scrivere il file (non è un file regolare); " + std::string(kPrefixedOrigin.in(Language::it)));
}

TEST(FileWriter, AFailedReplacementKeepsTheEarlierFileAndNoTemporary) {
  const std::tuple<const char*, std::function<void(const fs::path&)>, long, const char*> cases[] = {
      {"write past the size limit", [](const fs::path& t) { write_file_atomically(t, std::string(300, 'n')); }, 100,
       "File too large"},
      // only the rename is left to fail: a folder in place of the file
      {"rename onto a folder",
       [](const fs::path& t) {
         fs::remove(t);
         fs::create_directory(t);
         write_file(t / "kept", "earlier\n");
         write_file_atomically(t, "new\n");
       },
       -1, "Is a directory"},
      // the temporary's descriptor closed behind the writer's back: its own
      // close fails (nothing buffered, so no write comes first)
      {"close",
       [](const fs::path& t) {
         ReplacedFile f(t, kWorkdirOrigin);
         for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
           std::error_code ec;
           if (fs::read_symlink(e.path(), ec) == temporary_name(t)) ::close(std::stoi(e.path().filename().string()));
         }
         f.commit();
       },
       -1, "Bad file descriptor"},
  };
  for (const auto& [what, act, limit, reason] : cases) {
    SCOPED_TRACE(what);
    ScratchDir dir;
    const fs::path target = dir / "t.dat";
    write_file(target, "earlier\n");
    EXPECT_EQ(write_error_of([&] { act(target); }, limit),
              target.string() + ": impossibile scrivere il file (" + reason + "); " + std::string(kWorkdirOrigin.in(Language::it)));
    EXPECT_EQ(read_file(fs::is_directory(target) ? target / "kept" : target), "earlier\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);  // no temporary
  }
}

}  // namespace
}  // namespace fiamma
