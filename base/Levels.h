// Levels.h - the level letters of the server's log and the groups they are
// shown in: the one table the readers, the list, the terminal and the checker share.
#ifndef BASE_LEVELS_H
#define BASE_LEVELS_H

// Every letter the server writes, most severe first (d is debug2).
const char kLevelLetters[] = "XACEWNIDd";
// The letter of each syslog priority, 0 (emergency) to 7 (debug).
const char kPriorityLetters[] = "XACEWNID";

// The groups the window gives an icon each and the terminal a colour each.
enum class LevelGroup { Error, Warning, Info, Debug };

inline LevelGroup level_group(unsigned char letter) {
  switch (letter) {
    case 'X': case 'A': case 'C': case 'E': return LevelGroup::Error;
    case 'W': return LevelGroup::Warning;
    case 'N': case 'I': return LevelGroup::Info;
    default: return LevelGroup::Debug;
  }
}

inline bool is_error_letter(unsigned char letter) { return level_group(letter) == LevelGroup::Error; }

// Whether a view level lets a line starting with `letter` through: 0 the
// error lines, 1 those and the warnings and informational ones, 2 every line.
inline bool level_accepts(int view, unsigned char letter) {
  switch (view) {
    case 0: return is_error_letter(letter);
    case 1: return level_group(letter) != LevelGroup::Debug;
    case 2: return true;
    default: return false;
  }
}

#endif
