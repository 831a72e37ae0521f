// Timed lyrics for singing along: one "[mm:ss.cc]text" line per sung line.
// The host turns the accompaniment's positions into the two lines the
// lyric layer shows and the sung part of the first one.
#pragma once

#include <string>
#include <vector>

struct TimedLyricLine {
    double startSeconds = 0.0;
    std::string text;
};

// Lines in time order; lines without a well-formed time tag are skipped.
std::vector<TimedLyricLine> ParseTimedLyrics(const std::string& content);

struct LyricMoment {
    std::string current;    // the line being sung, empty before the first one
    std::string next;       // the line after it, empty after the last one
    double progress = 0.0;  // 0..1 through the current line
};

// The last line lasts this long, as no later line ends it.
constexpr double kLastLyricLineSeconds = 4.0;

LyricMoment LyricsAt(const std::vector<TimedLyricLine>& lines, double seconds);
