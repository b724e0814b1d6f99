#include "controls/CsvText.h"

#include "platform/Prefault.h"

#include <algorithm>
#include <cstring>

namespace csv {

std::string QuoteField(const std::string &text, char delimiter)
{
    if (text.find_first_of(std::string{delimiter, '"', '\r', '\n'}) == std::string::npos) return text;
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

namespace {

std::string undouble(std::string_view quoted)
{
    std::string out;
    out.reserve(quoted.size());
    for (size_t i = 0; i < quoted.size(); ++i) {
        out += quoted[i];
        if (quoted[i] == '"' && i + 1 < quoted.size() && quoted[i + 1] == '"') ++i;
    }
    return out;
}

} // namespace

size_t Reader::lineEnd(size_t from) const
{
    for (size_t i = from; i < text_.size(); ++i)
        if (text_[i] == '\r' || text_[i] == '\n') return i;
    return text_.size();
}

// Past the CR LF, LF or CR at pos_.
void Reader::skipLineBreak()
{
    if (pos_ >= text_.size()) return;
    const bool cr = text_[pos_] == '\r';
    if (cr || text_[pos_] == '\n') ++pos_;
    if (cr && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
}

// Index of the double quote that closes a quoted field whose text starts at
// from (the first double quote not doubled), or npos.
size_t Reader::closingQuote(size_t from)
{
    const size_t n = text_.size();
    if (noCloseFrom_ != std::string_view::npos && from > noCloseFrom_) {
        // Every run of quotes beyond that point has an even length, so only
        // the run this field starts with can close it.
        size_t k = 0;
        while (from + k < n && text_[from + k] == '"') ++k;
        return k % 2 ? from + k - 1 : std::string_view::npos;
    }
    for (size_t i = from; i < n;) {
        const void *q = std::memchr(text_.data() + i, '"', n - i);
        if (!q) break;
        i = size_t(static_cast<const char *>(q) - text_.data());
        if (i + 1 < n && text_[i + 1] == '"') {
            i += 2;
            continue;
        }
        return i;
    }
    noCloseFrom_ = from;
    return std::string_view::npos;
}

bool Reader::Next(std::vector<std::string> &fields, bool keepEmptyLast)
{
    fields.clear();
    const size_t n = text_.size();
    if (pos_ >= n) return false;
    // The last field of the record: kept when not empty, or when empty with
    // fields before it and keepEmptyLast.
    auto last = [&](std::string value) {
        if (!value.empty() || (keepEmptyLast && !fields.empty())) fields.push_back(std::move(value));
    };
    size_t eol = lineEnd(pos_);
    // Room for the fields the line's delimiters promise, made once.
    fields.reserve(size_t(std::count(text_.begin() + ptrdiff_t(pos_), text_.begin() + ptrdiff_t(eol), d_)) + 1);
    PrefaultForWrite(fields.data(), fields.capacity() * sizeof(std::string));
    while (true) {
        if (text_[pos_] == '"') {
            const size_t close = closingQuote(pos_ + 1);
            if (close != std::string_view::npos) {
                std::string value = undouble(text_.substr(pos_ + 1, close - pos_ - 1));
                const size_t after = close + 1;
                if (close >= eol) eol = lineEnd(after);  // the field ran over line breaks
                // After the closing quote: up to the next delimiter of its line.
                const size_t d = text_.substr(after, eol - after).find(d_);
                if (d == std::string_view::npos) {
                    pos_ = eol;
                    last(std::move(value));
                    break;
                }
                fields.push_back(std::move(value));
                pos_ = after + d + 1;
                if (pos_ >= eol) break;  // a trailing delimiter adds nothing
                continue;
            }
            // No closing quote: the field stays within its line.
            const std::string_view line = text_.substr(pos_, eol - pos_);
            const size_t d = line.find(d_);
            if (d == std::string_view::npos) {
                std::string_view rest = line.substr(1);
                if (!rest.empty() && rest.back() == '"') rest.remove_suffix(1);
                pos_ = eol;
                last(std::string(rest));
                break;
            }
            fields.emplace_back();
            pos_ += d + 1;
            if (pos_ >= eol) break;
            continue;
        }
        const std::string_view line = text_.substr(pos_, eol - pos_);
        const size_t d = line.find(d_);
        if (d == std::string_view::npos) {
            if (!line.empty()) {
                std::string_view rest = line;
                if (rest.back() == '"') rest.remove_suffix(1);
                last(std::string(rest));
            }
            pos_ = eol;
            break;
        }
        fields.emplace_back(line.substr(0, d));
        pos_ += d + 1;
        if (pos_ >= eol) break;
    }
    skipLineBreak();
    return true;
}

} // namespace csv
