// The single-instance claim never locks the user out: file systems without
// locks or without write access, a lock file deleted under the first copy,
// an older copy that locks only the file, a folder reached under another
// spelling, and a first copy that never answers.
#include "os_instance.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "test_env.h"

namespace {

int g_lock_error;
int refuse_every_lock(int, int) {
  errno = g_lock_error;
  return -1;
}

// A socket name that cannot be had (not that another copy has it).
int refuse_bind(int, const sockaddr *, socklen_t) {
  errno = EACCES;
  return -1;
}

// A read-only file system (root ignores mode bits, so chmod cannot make one).
int open_read_only(const char *path, int flags, int mode) {
  if ((flags & O_ACCMODE) != O_RDONLY || (flags & O_CREAT)) {
    errno = EROFS;
    return -1;
  }
  return open(path, flags, mode);
}

// NFS emulates flock with byte-range locks, which a folder cannot take.
int lock_files_only(int fd, int operation) {
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EBADF;
    return -1;
  }
  return flock(fd, operation);
}

// 1 when someone else holds an exclusive lock on path.
bool held(const std::string &path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool busy = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  return busy;
}

// The claim's result in a child process, or -1 when it had not come after
// timeout_ms (the child is killed then): a claim that hangs fails the test
// instead of holding it.
int claim_in_child(os_instance_open_fn open_call, int timeout_ms) {
  pid_t child = fork();
  if (child == 0) {
    os_instance_set_calls(open_call, nullptr);
    _exit(os_instance_claim(u"Brivola") + 8);
  }
  for (int waited = 0; child > 0 && waited < timeout_ms; waited += 10) {
    int status;
    if (waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) ? WEXITSTATUS(status) - 8 : -100;
    usleep(10000);
  }
  if (child > 0) kill(child, SIGKILL), waitpid(child, nullptr, 0);
  return -1;
}

// A first copy in a child process that has made its claim (killed by the
// caller), or -1.
pid_t start_first_copy(os_instance_lock_fn lock_call) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  pid_t first = fork();
  if (first == 0) {
    os_instance_set_calls(nullptr, lock_call);
    char claimed = char(os_instance_claim(u"Brivola"));
    if (write(ready[1], &claimed, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char claimed = 0;
  bool told = first > 0 && read(ready[0], &claimed, 1) == 1;
  close(ready[0]);
  close(ready[1]);
  EXPECT_EQ(claimed, OS_INSTANCE_FIRST);
  if (first > 0 && !told) kill(first, SIGKILL), waitpid(first, nullptr, 0);
  return told ? first : -1;
}

struct user_folder {
  std::string dir = test_make_temp_dir("instance");
  user_folder() { setenv("BRIVOLA_HOME", dir.c_str(), 1); }
  ~user_folder() {
    os_instance_release();
    os_instance_set_calls(nullptr, nullptr);
    unsetenv("BRIVOLA_HOME");
    test_remove_tree(dir);
  }
};

}  // namespace

TEST(Instance, RunsWhereTheFileSystemOffersNoLocksOrNoWriting) {
  const struct {
    const char *name;
    os_instance_open_fn open_call;
    os_instance_lock_fn lock_call;
    int lock_error;
    os_instance_bind_fn bind_call;
    int result;
    const char *locked;  // what another process then finds held ("" nothing)
  } cases[] = {
      {"no lock manager: the socket decides", nullptr, refuse_every_lock, ENOLCK, nullptr, OS_INSTANCE_FIRST, ""},
      {"locks not supported: the socket decides", nullptr, refuse_every_lock, EOPNOTSUPP, nullptr, OS_INSTANCE_FIRST,
       ""},
      {"no lock manager, no socket", nullptr, refuse_every_lock, ENOLCK, refuse_bind, OS_INSTANCE_UNLOCKED, ""},
      {"lock call invalid here, no socket", nullptr, refuse_every_lock, EINVAL, refuse_bind, OS_INSTANCE_UNLOCKED, ""},
      {"read-only file system", open_read_only, nullptr, 0, nullptr, OS_INSTANCE_FIRST, "."},
      {"folder takes no lock", nullptr, lock_files_only, 0, nullptr, OS_INSTANCE_FIRST, "brivola.lock"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    user_folder folder;
    g_lock_error = c.lock_error;
    os_instance_set_calls(c.open_call, c.lock_call, c.bind_call);
    std::string reason;
    EXPECT_EQ(os_instance_claim(u"Brivola", &reason), c.result) << reason;
    if (c.result == OS_INSTANCE_UNLOCKED) {
      EXPECT_EQ(reason, folder.dir + ": " + std::strerror(c.lock_error));
    }
    if (*c.locked) {
      EXPECT_TRUE(held(folder.dir + "/" + c.locked));
    }
  }
}

// The first copy runs in a child; the second claim is this process's, on
// the folder as spelled (the folder's own path with this after it).
TEST(Instance, ASecondStartFindsTheFirstHoweverTheFolderIsReachedOrLocked) {
  const struct {
    const char *name;
    os_instance_lock_fn lock_call;  // the first's; the second's too where there are no locks at all
    bool delete_lock_file;
    const char *spelling;
  } cases[] = {{"lock file deleted", nullptr, true, ""},
               {"older first copy", lock_files_only, false, ""},
               {"no locks anywhere: the socket decides", refuse_every_lock, false, ""},
               {"the folder through a link", nullptr, false, "/link"},
               {"the folder with /./ in its path", nullptr, false, "/./"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    user_folder folder;
    g_lock_error = ENOLCK;
    pid_t first = start_first_copy(c.lock_call);
    ASSERT_GT(first, 0);
    if (c.delete_lock_file) {
      EXPECT_EQ(unlink((folder.dir + "/brivola.lock").c_str()), 0);
    }
    if (c.lock_call == refuse_every_lock) os_instance_set_calls(nullptr, refuse_every_lock);
    ASSERT_EQ(symlink(folder.dir.c_str(), (folder.dir + "/link").c_str()), 0);
    setenv("BRIVOLA_HOME", (folder.dir + c.spelling).c_str(), 1);
    std::string reason;
    EXPECT_EQ(os_instance_claim(u"Brivola", &reason), OS_INSTANCE_OTHER) << reason;
    kill(first, SIGKILL);
    waitpid(first, nullptr, 0);
    EXPECT_EQ(os_instance_claim(u"Brivola"), OS_INSTANCE_FIRST) << "the claim outlived its holder";
  }
}

// Whatever sits where the lock file goes, the claim neither follows a link
// (creating or locking its target) nor waits on a FIFO (opened read-only, as
// on a read-only file system): the folder's lock makes it the first.
TEST(Instance, TheLockFileIsNeverALinksTargetNorAFifoThatWaits) {
  const struct {
    const char *name;
    bool fifo;
    os_instance_open_fn open_call;
  } cases[] = {{"a link to a file elsewhere", false, nullptr}, {"a FIFO", true, open_read_only}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    user_folder folder;
    std::string lock = folder.dir + "/brivola.lock", target = folder.dir + "/elsewhere";
    ASSERT_EQ(c.fifo ? mkfifo(lock.c_str(), 0644) : symlink(target.c_str(), lock.c_str()), 0);
    EXPECT_EQ(claim_in_child(c.open_call, 10000), OS_INSTANCE_FIRST) << "-1: the claim hung";
    EXPECT_NE(access(target.c_str(), F_OK), 0) << "the link was followed";
  }
}

// A first copy that takes the request and never answers (stopped here, its
// socket still taking connections) is given up on: the second start is
// refused in its own time instead of waiting for good.
TEST(Instance, ASecondStartGivesUpOnAFirstCopyThatNeverAnswers) {
  user_folder folder;
  pid_t first = start_first_copy(nullptr);
  ASSERT_GT(first, 0);
  // A stop sent is not yet a stop: its listener could still answer.
  int status = 0;
  ASSERT_EQ(kill(first, SIGSTOP), 0);
  ASSERT_EQ(waitpid(first, &status, WUNTRACED), first);
  ASSERT_TRUE(WIFSTOPPED(status));
  EXPECT_EQ(claim_in_child(nullptr, 20000), OS_INSTANCE_UNREACHED) << "-1: the second start waited for good";
  kill(first, SIGKILL);
  waitpid(first, nullptr, 0);
}
