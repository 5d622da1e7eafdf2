/* A file system with a folder that answers late: what a folder on a network share that does not
 * answer looks like to the programs that ask about it. Its root lists one folder, "far"; every
 * question about "far" or anything below it (all folders) is answered only after a delay. The
 * tests reach it through Wine's drive Z: (the Unix root).
 *
 * Usage: slow-folder MOUNTPOINT [SECONDS]   (30 s by default; stays in the foreground: end it with
 * SIGTERM, which unmounts it; questions still waiting are then answered with an error). */
#define FUSE_USE_VERSION 31

#include <errno.h>
#include <fuse.h>
#include <fuse_lowlevel.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const char kFar[] = "/far";
static unsigned delay_seconds = 30;

static int is_far(const char* path) {
  const size_t n = sizeof(kFar) - 1;
  return strncmp(path, kFar, n) == 0 && (path[n] == '\0' || path[n] == '/');
}

/* Waits out the delay, in steps, so that an unmount ends every waiting question at once; false
 * when the file system is ending. */
static int wait_long(void) {
  struct fuse_session* session = fuse_get_session(fuse_get_context()->fuse);
  for (unsigned step = 0; step < delay_seconds * 10; ++step) {
    if (fuse_session_exited(session)) return 0;
    usleep(100 * 1000);
  }
  return 1;
}

static void fill_folder(struct stat* st) {
  st->st_mode = S_IFDIR | 0755;
  st->st_nlink = 2;
  st->st_uid = getuid();
  st->st_gid = getgid();
}

/* Nothing is cached by the kernel: every question reaches us, and every one about "far" waits. */
static void* slow_init(struct fuse_conn_info* conn, struct fuse_config* cfg) {
  (void)conn;
  cfg->entry_timeout = 0;
  cfg->attr_timeout = 0;
  cfg->negative_timeout = 0;
  return NULL;
}

static int slow_getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
  (void)fi;
  memset(st, 0, sizeof(*st));
  if (strcmp(path, "/") == 0) {
    fill_folder(st);
    return 0;
  }
  if (!is_far(path)) return -ENOENT;
  if (!wait_long()) return -EIO;
  fill_folder(st);
  return 0;
}

static int slow_readdir(const char* path, void* buf, fuse_fill_dir_t filler, off_t offset,
                        struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
  (void)offset;
  (void)fi;
  (void)flags;
  if (strcmp(path, "/") != 0) {
    if (!is_far(path)) return -ENOENT;
    if (!wait_long()) return -EIO;
  }
  filler(buf, ".", NULL, 0, 0);
  filler(buf, "..", NULL, 0, 0);
  if (strcmp(path, "/") == 0) filler(buf, kFar + 1, NULL, 0, 0);
  return 0;
}

static const struct fuse_operations slow_operations = {
    .init = slow_init,
    .getattr = slow_getattr,
    .readdir = slow_readdir,
};

int main(int argc, char* argv[]) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: %s MOUNTPOINT [SECONDS]\n", argv[0]);
    return 2;
  }
  if (argc == 3) delay_seconds = (unsigned)strtoul(argv[2], NULL, 10);
  /* Foreground, many threads (a waiting question holds one thread only), read-only. */
  char* fuse_argv[] = {argv[0], "-f", "-o", "ro,fsname=lntr-slow-folder", argv[1], NULL};
  return fuse_main(5, fuse_argv, &slow_operations, NULL);
}
