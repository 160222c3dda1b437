// LogReader.h - reading the server's log without any toolkit: the level
// filter, the pieces of a long line, the unfinished last line, compressed
// logs, and following a file that grows.
//
// Beyond the agreed shape: read() calls sink.restart() when the file cannot
// be read, so that a sink always holds what the file gave, unless the sink
// keeps the lines of a file that left (LogSink::keep); read_stream() also
// takes gzip data; changed() tells a poll whether a read would find
// anything, and offset() where the piece being given starts. A followed
// file is held open, so that a rotation loses none of its last lines.
#ifndef LOGREAD_LOGREADER_H
#define LOGREAD_LOGREADER_H

#include <stddef.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <string>

#include "logread/LogSink.h"

struct LogStatus {
  enum Kind { Failed, Fresh, Appended, Unchanged } kind = Failed;
  // Why the file at the path was read from its start, when a read before
  // had read another or less: renamed away with a new file in its place (the
  // old one still there under another name), replaced or deleted, cut short
  // in place, rewritten in place.
  enum Change { First, Rotated, Replaced, CutShort, Rewritten } change = First;
  int error = 0;            // errno of the failure (ENOENT, EACCES, ...; EISDIR for a directory)
  std::string reason;       // "No such file or directory", "Permission denied", "is a directory",
                            // "is not a regular file", "compressed data is damaged", ...
  bool compressed = false;  // gzip: read whole and decompressed, never followed
  bool damaged = false;     // read in part: the compressed data is damaged, has bytes after its
                            // end, or a read failed midway; the lines are what could be read
  off_t damage_at = -1;     // where in the file's bytes the damage was found
  size_t added = 0;         // lines this read gave the sink
};

class LogReader {
public:
  // A line arrives in pieces of at most this many bytes, newline counted.
  static constexpr size_t kPiece = 10239;

  explicit LogReader(std::string path = "", int level = 0);
  ~LogReader();
  // It holds the descriptor of the file it follows.
  LogReader(const LogReader &) = delete;
  LogReader &operator=(const LogReader &) = delete;
  const std::string &path() const { return path_; }
  void path(std::string p);  // a change forgets the read mark
  int level() const { return level_; }
  void level(int l);         // likewise

  // Reads what is new since the last read: only the appended bytes when the
  // file only grew (same inode, not shorter, the same first bytes and bytes
  // before the old end), else everything from the start, after
  // sink.restart(). Never blocks (FIFOs, devices and directories are
  // failures). A rewrite that keeps those bytes is taken for an append (or,
  // at the same size, for no change): telling it apart would mean reading
  // the whole file again at every poll, and a writer caught mid-write shows
  // a new time at the old size.
  //
  // A plain file's descriptor stays open between reads. When another file
  // takes the path, or the path fails, the old file is first read to its end
  // through it, then sink.keep() decides whether those lines stand; when
  // they do, a file rotated in between (NAME.O, renamed there since the last
  // read) is read whole before the new one. While the path is missing and
  // the old file is still linked elsewhere, the old file is followed: its
  // writer may not have moved on yet.
  LogStatus read(LogSink &sink);
  // Reads a stream (standard input) to its end, once, as a fresh read;
  // gzip data is decompressed.
  LogStatus read_stream(int fd, LogSink &sink);
  // The next read starts from the beginning.
  void forget();
  // Whether the last line given may still go on (no newline yet, as far as
  // the file shows): a sink that holds back such a line asks this, since a
  // line holding a NUL byte is stored without its newline.
  bool line_open() const { return valid_ && !compressed_ && (unfinished_ || (inside_ && inside_taken_)); }

  // Whether read() would find the file other than the last read left it:
  // grown, shrunk, replaced, rewritten (the bytes compared as read() compares
  // them), readable or failing again, or never read at this path and level.
  // Reads nothing but a stat when that settles it, and otherwise the few
  // bytes read() compares; a file still missing costs one failed stat. When
  // the stat succeeds, *mtime gets the file's modification time.
  bool changed(time_t *mtime = nullptr);

  // Where the line or piece being given to the sink starts: its offset in
  // the file (in the decompressed bytes of a compressed one). Meaningful
  // while LogSink::line() runs.
  off_t offset() const { return at_; }

  // The level filter: 0 takes X A C E, 1 also W N I, 2 every line; any other
  // level nothing.
  static bool accepts(int level, unsigned char first);

private:
  std::string path_;
  int level_;

  // What the last read saw, to tell an append from anything else. Every byte
  // here comes from what was read, not from a second look at the file.
  bool valid_ = false;
  bool compressed_ = false;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  off_t size_ = 0;          // the file's size when opened (compressed logs)
  struct timespec mtime_ = {0, 0};
  off_t end_ = 0;           // bytes read
  off_t committed_ = 0;     // where an unfinished last line (or its last piece) starts
  bool unfinished_ = false; // that line was given to the sink
  bool inside_ = false;     // committed_ lies inside a long line, after a piece of it
  bool inside_taken_ = false; // and the level took that line
  std::string head_;        // the first bytes of the file
  std::string tail_;        // the bytes just before end_ (of a compressed file, its last bytes)
  bool damaged_ = false;    // what the read of a compressed log found
  std::string damaged_reason_;
  off_t damage_at_ = -1;
  off_t at_ = 0;            // offset of the line being given
  int held_ = -1;           // the plain file last read, still open
  bool told_ = false;       // the sink was given it (LogSink::file_start)
  bool mark_kept_ = false;  // the path fails, and the sink kept the lines up to the mark
  bool cut_ = false;        // the file was cut short while it was read
  // NAME.O as it stood just before the last read that found the file at the
  // path: a file there unlike it was rotated there since.
  struct stat older_ = {};
  bool older_there_ = false;

  // The last read could not open the file: why, and what a stat saw then,
  // so that a file still failing the same way is not tried again.
  bool failed_ = false;
  int fail_error_ = 0;
  bool fail_seen_ = false;  // the stat succeeded
  struct stat fail_st_ = {};

  bool only_grown(int fd, const struct stat &st) const;
  bool gzip_unchanged(int fd, const struct stat &st) const;
  void remember_failure(int error, bool keep_mark = false);
  void release();
  size_t drain(LogSink &sink, struct stat *st);
  size_t scan_file(int fd, const struct stat &st, bool from_mark, LogSink &sink, int *error);
  int open_between(const struct stat *now, struct stat *st) const;
  LogStatus read_gzip(int fd, const struct stat &st, LogSink &sink, bool restart);
};

#endif
