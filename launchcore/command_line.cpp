#include "launchcore/command_line.h"

namespace {

constexpr size_t npos = std::u16string_view::npos;

// A quoted argument that opens at rest[open]. Text before the opening quote belongs to the
// same argument; the quotes never do. Returns how much of rest was consumed: through the
// closing quote and one blank directly after it, or all of rest when the quote stays open.
size_t takeQuoted(std::u16string_view rest, size_t open, char16_t quote, std::vector<std::u16string>& args)
{
    size_t close = rest.find(quote, open + 1);
    const bool closed = close != npos;
    if (!closed)
        close = rest.size();

    std::u16string argument(rest.substr(0, open));
    argument.append(rest.substr(open + 1, close - open - 1));
    args.push_back(std::move(argument));

    if (!closed)
        return rest.size();
    size_t next = close + 1;
    if (next < rest.size() && rest[next] == u' ')
        ++next;
    return next;
}

} // namespace

void splitCommandLine(std::u16string_view text, std::vector<std::u16string>& args)
{
    while (!text.empty()) {
        const size_t doubleQuote = text.find(u'"');
        const size_t singleQuote = text.find(u'\'');
        const size_t space = text.find(u' ');

        if (text.front() == u' ') {
            text.remove_prefix(1);
        } else if (space != npos && space < doubleQuote && space < singleQuote) {
            args.emplace_back(text.substr(0, space));
            text.remove_prefix(space + 1);
        } else if (doubleQuote != npos && doubleQuote < singleQuote) {
            text.remove_prefix(takeQuoted(text, doubleQuote, u'"', args));
        } else if (singleQuote != npos) {
            text.remove_prefix(takeQuoted(text, singleQuote, u'\'', args));
        } else {
            args.emplace_back(text);
            text = {};
        }
    }
}
