// The single-instance claim never locks the user out: file systems without
// locks or without write access, a lock file deleted under the first copy,
// and an older copy that locks only the file.
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
    int result;
    const char *locked;  // what another process then finds held ("" nothing)
  } cases[] = {
      {"no lock manager", nullptr, refuse_every_lock, ENOLCK, OS_INSTANCE_UNLOCKED, ""},
      {"locks not supported", nullptr, refuse_every_lock, EOPNOTSUPP, OS_INSTANCE_UNLOCKED, ""},
      {"lock call invalid here", nullptr, refuse_every_lock, EINVAL, OS_INSTANCE_UNLOCKED, ""},
      {"read-only file system", open_read_only, nullptr, 0, OS_INSTANCE_FIRST, "."},
      {"folder takes no lock", nullptr, lock_files_only, 0, OS_INSTANCE_FIRST, "brivola.lock"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    user_folder folder;
    g_lock_error = c.lock_error;
    os_instance_set_calls(c.open_call, c.lock_call);
    std::string reason;
    EXPECT_EQ(os_instance_claim(u"Brivola", &reason), c.result) << reason;
    if (c.lock_error) {
      EXPECT_EQ(reason, folder.dir + ": " + std::strerror(c.lock_error));
    }
    if (*c.locked) {
      EXPECT_TRUE(held(folder.dir + "/" + c.locked));
    }
  }
}

// The first copy runs in a child; the second claim is this process's.
TEST(Instance, ASecondStartFindsTheFirstWhateverHappenedToTheLockFile) {
  const struct {
    const char *name;
    os_instance_lock_fn first_lock;  // an older copy locks only the file
    bool delete_lock_file;
  } cases[] = {{"lock file deleted", nullptr, true}, {"older first copy", lock_files_only, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    user_folder folder;
    pid_t first = start_first_copy(c.first_lock);
    ASSERT_GT(first, 0);
    if (c.delete_lock_file) {
      EXPECT_EQ(unlink((folder.dir + "/brivola.lock").c_str()), 0);
    }
    EXPECT_EQ(os_instance_claim(u"Brivola"), OS_INSTANCE_OTHER);
    kill(first, SIGKILL);
    waitpid(first, nullptr, 0);
    EXPECT_EQ(os_instance_claim(u"Brivola"), OS_INSTANCE_FIRST) << "the lock outlived its holder";
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
  kill(first, SIGSTOP);
  EXPECT_EQ(claim_in_child(nullptr, 20000), OS_INSTANCE_UNREACHED) << "-1: the second start waited for good";
  kill(first, SIGKILL);
  waitpid(first, nullptr, 0);
}
