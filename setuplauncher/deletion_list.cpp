#include "setuplauncher/deletion_list.h"

#include <string_view>

namespace {

constexpr std::size_t kTextLimit = 8191;
// Longer than any path Windows accepts, so never something the writer meant to delete.
constexpr std::size_t kLineLimit = 32767;
constexpr std::size_t kShortestText = 6;
constexpr std::u16string_view kEndOfText = u"EOSMARKER";

std::u16string decode(const unsigned char* data, std::size_t size)
{
    std::u16string text;
    text.reserve(size / 2);
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    if (!text.empty() && text.front() == u'\xFEFF')
        text.erase(0, 1);
    return text;
}

// Whole lines of any length: a line cut in pieces would name other paths, and an empty tail
// would advance the section.
class LineReader {
public:
    explicit LineReader(std::u16string_view text) : text_(text) {}

    bool next(std::u16string_view& line)
    {
        if (position_ >= text_.size())
            return false;
        std::size_t end = text_.find(u'\n', position_);
        if (end == std::u16string_view::npos)
            end = text_.size();
        line = text_.substr(position_, end - position_);
        position_ = end + 1;
        while (!line.empty() && line.back() == u'\r')
            line.remove_suffix(1);
        return true;
    }

private:
    std::u16string_view text_;
    std::size_t position_ = 0;
};

// A NUL would cut the name at the API boundary and so act on a different path.
bool usable(std::u16string_view line)
{
    return line.size() <= kLineLimit && line.find(u'\0') == std::u16string_view::npos;
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Lines joined with "\n", cut at the limit; the cut never leaves half a surrogate pair.
class BoundedText {
public:
    void add(std::u16string_view line)
    {
        if (full_ || !usable(line))
            return;
        if (started_)
            append(u"\n");
        started_ = true;
        append(line);
    }

    std::u16string take() { return text_.size() >= kShortestText ? std::move(text_) : std::u16string(); }

private:
    void append(std::u16string_view part)
    {
        if (full_)
            return;
        const std::size_t room = kTextLimit - text_.size();
        if (part.size() <= room) {
            text_.append(part);
            return;
        }
        std::size_t kept = room;
        if (kept > 0 && isHighSurrogate(part[kept - 1]) && isLowSurrogate(part[kept]))
            --kept;
        text_.append(part.substr(0, kept));
        full_ = true;
    }

    std::u16string text_;
    bool started_ = false;
    bool full_ = false;
};

// Collects the lines up to the closing marker; false when the list ends first.
bool readText(LineReader& lines, std::u16string& text)
{
    BoundedText collected;
    std::u16string_view line;
    bool closed = false;
    while (lines.next(line)) {
        if (line.starts_with(kEndOfText)) {
            closed = true;
            break;
        }
        collected.add(line);
    }
    text = collected.take();
    return closed;
}

} // namespace

DeletionList parseDeletionList(const unsigned char* data, std::size_t size)
{
    DeletionList list;
    const std::u16string text = decode(data, size);
    LineReader lines(text);
    std::size_t section = 0;
    std::u16string_view line;
    while (lines.next(line)) {
        if (line.empty()) {
            ++section;
            continue;
        }
        if (section == 0) {
            if (usable(line))
                list.semaphoreName = line;
            section = 1;
        } else if (section == 1) {
            list.forceReboot = line == u"force_reboot";
            list.rebootDeletion = list.forceReboot || line == u"reboot_deletion";
            if (!readText(lines, list.rebootQuestion) || !readText(lines, list.rebootWarning))
                break;
            section = 2;
        } else if (usable(line)) {
            (section == 2 ? list.files : list.directories).emplace_back(line);
        }
    }
    return list;
}
