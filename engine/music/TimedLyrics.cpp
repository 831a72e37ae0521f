#include "TimedLyrics.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

// "[mm:ss.cc]" or "[mm:ss]"; false when the tag is not well formed.
bool ParseTag(const std::string& line, double& seconds, size_t& textStart)
{
    if (line.size() < 7 || line[0] != '[')
        return false;
    const size_t close = line.find(']');
    if (close == std::string::npos)
        return false;
    const std::string tag = line.substr(1, close - 1);
    const size_t colon = tag.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= tag.size())
        return false;
    for (size_t i = 0; i < tag.size(); ++i)
        if (i != colon && tag[i] != '.' && !std::isdigit(static_cast<unsigned char>(tag[i])))
            return false;
    const std::string secondsText = tag.substr(colon + 1);
    if (secondsText.find('.') == 0 || std::count(secondsText.begin(), secondsText.end(), '.') > 1 ||
        tag.substr(0, colon).find('.') != std::string::npos)
        return false;
    const double minutes = std::stod(tag.substr(0, colon));
    const double secs = std::stod(secondsText);
    if (secs >= 60.0)
        return false;
    seconds = minutes * 60.0 + secs;
    textStart = close + 1;
    return true;
}

} // namespace

std::vector<TimedLyricLine> ParseTimedLyrics(const std::string& content)
{
    std::vector<TimedLyricLine> lines;
    std::istringstream stream(content);
    std::string line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() >= 3 && static_cast<unsigned char>(line[0]) == 0xEF &&
            static_cast<unsigned char>(line[1]) == 0xBB && static_cast<unsigned char>(line[2]) == 0xBF)
            line.erase(0, 3);
        double seconds = 0.0;
        size_t textStart = 0;
        if (ParseTag(line, seconds, textStart))
            lines.push_back({seconds, line.substr(textStart)});
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const TimedLyricLine& a, const TimedLyricLine& b) { return a.startSeconds < b.startSeconds; });
    return lines;
}

LyricMoment LyricsAt(const std::vector<TimedLyricLine>& lines, double seconds)
{
    LyricMoment moment;
    if (lines.empty())
        return moment;
    size_t current = lines.size();
    for (size_t i = 0; i < lines.size() && lines[i].startSeconds <= seconds; ++i)
        current = i;
    if (current == lines.size()) {  // before the first line
        moment.next = lines.front().text;
        return moment;
    }
    moment.current = lines[current].text;
    if (current + 1 < lines.size())
        moment.next = lines[current + 1].text;
    const double end = current + 1 < lines.size() ? lines[current + 1].startSeconds
                                                   : lines[current].startSeconds + kLastLyricLineSeconds;
    const double length = end - lines[current].startSeconds;
    moment.progress = length > 0.0 ? std::min(1.0, (seconds - lines[current].startSeconds) / length) : 1.0;
    return moment;
}
