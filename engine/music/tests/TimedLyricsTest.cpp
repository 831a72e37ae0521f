// The timed-lyrics reader: which two lines show and how much of the first is sung.
#include "TimedLyrics.h"

#include <gtest/gtest.h>

TEST(TimedLyrics, ParsesTaggedLinesInTimeOrder)
{
    const auto lines = ParseTimedLyrics("\xEF\xBB\xBF[00:01.50]first\r\n"
                                        "no tag here\n"
                                        "[00:04.00]third\n"
                                        "[00:02.25]second\n"
                                        "[1:05]minute\n"
                                        "[00:7x.00]bad digits\n"
                                        "[00:61.00]bad seconds\n"
                                        "[00:03.00]\n");
    const std::vector<std::pair<double, std::string>> expected = {
        {1.5, "first"}, {2.25, "second"}, {3.0, ""}, {4.0, "third"}, {65.0, "minute"}};
    ASSERT_EQ(expected.size(), lines.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_DOUBLE_EQ(expected[i].first, lines[i].startSeconds) << i;
        EXPECT_EQ(expected[i].second, lines[i].text) << i;
    }
}

TEST(TimedLyrics, CurrentNextAndProgress)
{
    const auto lines = ParseTimedLyrics("[00:01.00]one\n[00:03.00]two\n[00:04.00]three\n");
    const struct {
        double at;
        const char* current;
        const char* next;
        double progress;
    } cases[] = {
        {0.0, "", "one", 0.0},          // before the first line: it is shown as the next one
        {1.0, "one", "two", 0.0},       // a line starts unsung
        {2.0, "one", "two", 0.5},       // half-way to the next line's start
        {2.999, "one", "two", 0.9995},
        {3.5, "two", "three", 0.5},
        {4.0, "three", "", 0.0},        // the last line has no next one
        {6.0, "three", "", 0.5},        // and lasts kLastLyricLineSeconds
        {60.0, "three", "", 1.0},       // fully sung long after
    };
    for (const auto& c : cases) {
        const LyricMoment moment = LyricsAt(lines, c.at);
        EXPECT_EQ(c.current, moment.current) << c.at;
        EXPECT_EQ(c.next, moment.next) << c.at;
        EXPECT_NEAR(c.progress, moment.progress, 1e-9) << c.at;
    }
    EXPECT_EQ("", LyricsAt({}, 5.0).current);
    EXPECT_EQ("", LyricsAt({}, 5.0).next);
}
