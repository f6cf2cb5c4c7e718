#!/usr/bin/python3
"""A pass-through FUSE file system over a backing folder, for the media tests.

    passthrough_fs.py [--damage NAME | --flip NAME OFFSET | --detach NAME |
                       --read-error NAME FROM TO] BACKING MOUNT_POINT

Serves BACKING at MOUNT_POINT in the foreground, with the kernel page cache kept
across opens (kernel_cache), so what a program wrote can be read back from the
cache without reaching this process. It can play one of four faulty media:

  --damage NAME  writes to files named NAME are stored with every bit flipped
                 from byte offset 4096 on, in the pages each write fills whole
                 (those the kernel keeps in its cache), and reported written in
                 full: the cache holds the right bytes, the medium wrong ones.
  --detach NAME  on the first write to a file named NAME the file system lazily
                 unmounts itself and goes on serving the files already open:
                 the rest of that file goes to the detached medium, while a file
                 created by path afterwards lands in the bare mount-point folder.
                 The mount point may hold files of its own beforehand, hidden
                 while the file system is mounted over them.
  --read-error NAME FROM TO  reads of files named NAME that touch the bytes
                 from FROM to TO fail with EIO, as bad sectors do; the rest
                 reads well.

Ends when the file system is unmounted, or, once detached, when its last open
file is closed.
"""

import argparse
import errno
import os
import subprocess
import sys
import threading

import fusepy

DAMAGE_FROM = 4096
PAGE = 4096
FLIP = bytes(b ^ 0xFF for b in range(256))


class Passthrough(fusepy.Operations):
    use_ns = True

    def __init__(self, backing, mount_point, damage, flip, detach, read_error=None):
        self.backing = os.path.realpath(backing)
        self.mount_point = os.path.realpath(mount_point)
        self.damage = damage
        self.flip_name, self.flip_at = flip if flip else (None, None)
        self.detach = detach
        self.read_error = read_error
        self.detached = False
        self.detach_lock = threading.Lock()

    def _real(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def _named(self, path, name):
        return name is not None and os.path.basename(path) == name

    # Files and folders, as the backing folder has them.

    def getattr(self, path, fh=None):
        st = os.fstat(fh) if fh is not None else os.lstat(self._real(path))
        keys = ("st_mode", "st_ino", "st_nlink", "st_uid", "st_gid", "st_size",
                "st_atime_ns", "st_mtime_ns", "st_ctime_ns", "st_blocks")
        attrs = {key: getattr(st, key) for key in keys}
        for key in ("st_atime", "st_mtime", "st_ctime"):
            attrs[key] = attrs.pop(key + "_ns")
        return attrs

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._real(path))

    def statfs(self, path):
        st = os.statvfs(self._real(path))
        keys = ("f_bsize", "f_frsize", "f_blocks", "f_bfree", "f_bavail",
                "f_files", "f_ffree", "f_favail", "f_flag", "f_namemax")
        return {key: getattr(st, key) for key in keys}

    def mkdir(self, path, mode):
        os.mkdir(self._real(path), mode)

    def rmdir(self, path):
        os.rmdir(self._real(path))

    def unlink(self, path):
        os.unlink(self._real(path))

    def rename(self, old, new):
        os.rename(self._real(old), self._real(new))

    def chmod(self, path, mode):
        os.chmod(self._real(path), mode)

    def chown(self, path, uid, gid):
        os.chown(self._real(path), uid, gid)

    def utimens(self, path, times=None):
        os.utime(self._real(path), ns=times)

    def truncate(self, path, length, fh=None):
        if fh is not None:
            os.ftruncate(fh, length)
        else:
            os.truncate(self._real(path), length)

    # Open files.

    def open(self, path, flags):
        return os.open(self._real(path), flags)

    def create(self, path, mode, fi=None):
        return os.open(self._real(path), os.O_RDWR | os.O_CREAT | os.O_TRUNC, mode)

    def read(self, path, size, offset, fh):
        name, start, end = self.read_error or (None, 0, 0)
        if self._named(path, name) and offset < end and offset + size > start:
            raise fusepy.FuseOSError(errno.EIO)
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        if self._named(path, self.detach):
            self._detach_once()
        stored = data
        if self._named(path, self.damage):
            stored = self._damaged(data, offset)
        if self._named(path, self.flip_name):
            stored = self._flipped(data, offset, self.flip_at)
        done = 0
        while done < len(stored):
            done += os.pwrite(fh, stored[done:], offset + done)
        return len(data)

    # The pages that this write covers whole, from offset 4096 on, with every
    # bit flipped. The kernel marks a page of its cache valid only when one
    # write filled it, and reads the others from here, so every byte damaged
    # is one that the cache holds right until it is dropped.
    @staticmethod
    def _damaged(data, offset):
        first = max(DAMAGE_FROM, -(-offset // PAGE) * PAGE)
        last = (offset + len(data)) // PAGE * PAGE
        if first >= last:
            return data
        start, end = first - offset, last - offset
        return data[:start] + data[start:end].translate(FLIP) + data[end:]

    # The byte at `at` of the file, if this write carries it, bits flipped.
    @staticmethod
    def _flipped(data, offset, at):
        if not offset <= at < offset + len(data):
            return data
        i = at - offset
        return data[:i] + bytes([data[i] ^ 0xFF]) + data[i + 1:]

    def flush(self, path, fh):
        return 0

    def fsync(self, path, datasync, fh):
        if datasync:
            os.fdatasync(fh)
        else:
            os.fsync(fh)
        return 0

    def fsyncdir(self, path, datasync, fh):
        return 0

    def release(self, path, fh):
        os.close(fh)
        return 0

    # The detach: the mount point goes back to the bare folder below it, while
    # the kernel keeps this file system alive for the files still open on it.
    # Done before the write that caused it is answered, by another process
    # that this one's other threads can serve if it looks at the mount.
    def _detach_once(self):
        with self.detach_lock:
            if self.detached:
                return
            self.detached = True
            done = subprocess.run(["fusermount", "-uz", self.mount_point],
                                  capture_output=True, text=True)
            if done.returncode != 0:
                print("passthrough_fs: detach failed: " + done.stderr.strip(),
                      file=sys.stderr, flush=True)
            else:
                print("passthrough_fs: detached " + self.mount_point,
                      file=sys.stderr, flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    fault = parser.add_mutually_exclusive_group()
    fault.add_argument("--damage", metavar="NAME")
    fault.add_argument("--flip", nargs=2, metavar=("NAME", "OFFSET"))
    fault.add_argument("--detach", metavar="NAME")
    fault.add_argument("--read-error", nargs=3, metavar=("NAME", "FROM", "TO"))
    parser.add_argument("backing")
    parser.add_argument("mount_point")
    args = parser.parse_args()
    flip = None
    if args.flip:
        name, at = args.flip
        if not at.isdigit():
            parser.error("--flip: OFFSET must be a byte offset, 0 or more")
        flip = (name, int(at))
    read_error = None
    if args.read_error:
        name, start, end = args.read_error
        if not (start.isdigit() and end.isdigit()):
            parser.error("--read-error: FROM and TO must be byte offsets")
        read_error = (name, int(start), int(end))
    operations = Passthrough(args.backing, args.mount_point, args.damage, flip,
                             args.detach, read_error)
    fusepy.FUSE(operations, args.mount_point, foreground=True, kernel_cache=True,
                big_writes=True, use_ino=True, nonempty=True,
                fsname="slicery-passthrough")


if __name__ == "__main__":
    main()
