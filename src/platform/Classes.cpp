#include "platform/Classes.h"

#include "platform/FileIO.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <algorithm>

void TStringList::check(int i) const
{
    if (i < 0 || i >= Count())
        throw EListError("List index out of bounds (" + std::to_string(i) + ")");
}

int TStringList::compare(const std::string &a, const std::string &b) const
{
    return CaseSensitive ? Rtl::AnsiCompareStr(a, b) : Rtl::AnsiCompareText(a, b);
}

const std::string &TStringList::operator[](int i) const
{
    check(i);
    return items_[size_t(i)].s;
}

void TStringList::Put(int i, const std::string &s)
{
    check(i);
    items_[size_t(i)].s = s;
}

void *TStringList::Objects(int i) const
{
    check(i);
    return items_[size_t(i)].o;
}

void TStringList::PutObject(int i, void *o)
{
    check(i);
    items_[size_t(i)].o = o;
}

int TStringList::Add(const std::string &s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const std::string &s, void *o)
{
    if (!sorted_) {
        items_.push_back({s, o});
        return Count() - 1;
    }
    int idx;
    if (Find(s, idx)) {
        if (Duplicates == dupIgnore)
            return idx;
        if (Duplicates == dupError)
            throw EListError("String list does not allow duplicates");
    }
    items_.insert(items_.begin() + idx, Item{s, o});
    return idx;
}

void TStringList::Insert(int i, const std::string &s)
{
    if (sorted_)
        throw EListError("Operation not allowed on sorted string list");
    if (i < 0 || i > Count())
        throw EListError("List index out of bounds (" + std::to_string(i) + ")");
    items_.insert(items_.begin() + i, Item{s, nullptr});
}

void TStringList::Delete(int i)
{
    check(i);
    items_.erase(items_.begin() + i);
}

void TStringList::Clear() { items_.clear(); }

void TStringList::Exchange(int a, int b)
{
    check(a);
    check(b);
    std::swap(items_[size_t(a)], items_[size_t(b)]);
}

void TStringList::Move(int from, int to)
{
    if (from == to)
        return;
    check(from);
    check(to);
    Item it = items_[size_t(from)];
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, it);
}

int TStringList::IndexOf(const std::string &s) const
{
    if (sorted_) {
        int idx;
        return Find(s, idx) ? idx : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (compare(items_[size_t(i)].s, s) == 0)
            return i;
    return -1;
}

int TStringList::IndexOfName(const std::string &name) const
{
    for (int i = 0; i < Count(); ++i)
        if (compare(Names(i), name) == 0 && items_[size_t(i)].s.find('=') != std::string::npos)
            return i;
    return -1;
}

int TStringList::IndexOfObject(const void *o) const
{
    for (int i = 0; i < Count(); ++i)
        if (items_[size_t(i)].o == o)
            return i;
    return -1;
}

void TStringList::Assign(const TStringList &other)
{
    if (this == &other)
        return;
    items_ = other.items_;
    if (sorted_)
        Sort();
}

void TStringList::AddStrings(const TStringList &other)
{
    std::vector<Item> copy = other.items_;
    for (const Item &it : copy)
        AddObject(it.s, it.o);
}

std::string TStringList::Text() const
{
    std::string r;
    for (const Item &it : items_) {
        r += it.s;
        r += "\r\n";
    }
    return r;
}

void TStringList::SetText(const std::string &text)
{
    Clear();
    Rtl::ForEachLine(text, [this](std::string_view line) { Add(std::string(line)); });
}

std::string TStringList::DelimitedText(char delimiter, char quote) const
{
    std::string r;
    for (int i = 0; i < Count(); ++i) {
        const std::string &s = items_[size_t(i)].s;
        bool needQuote = s.empty() && Count() == 1;
        for (char c : s)
            if (static_cast<unsigned char>(c) <= ' ' || c == delimiter || c == quote)
                needQuote = true;
        if (i)
            r.push_back(delimiter);
        if (needQuote) {
            r.push_back(quote);
            for (char c : s) {
                r.push_back(c);
                if (c == quote)
                    r.push_back(quote);
            }
            r.push_back(quote);
        } else {
            r += s;
        }
    }
    return r;
}

void TStringList::SetDelimitedText(const std::string &text, char delimiter, char quote)
{
    Clear();
    size_t i = 0;
    const size_t n = text.size();
    auto skipBlanks = [&]() {
        while (i < n && static_cast<unsigned char>(text[i]) <= ' ' && text[i] != delimiter)
            ++i;
    };
    skipBlanks();
    while (i < n) {
        std::string item;
        if (text[i] == quote) {
            ++i;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        item.push_back(quote);
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item.push_back(text[i++]);
            }
        } else {
            // An unquoted item ends at the delimiter or at a blank.
            while (i < n && text[i] != delimiter && static_cast<unsigned char>(text[i]) > ' ')
                item.push_back(text[i++]);
        }
        Add(item);
        skipBlanks();
        if (i < n && text[i] == delimiter) {
            ++i;
            skipBlanks();
            if (i >= n)
                Add("");
        }
    }
}

std::string TStringList::CommaText() const { return DelimitedText(',', '"'); }

void TStringList::SetCommaText(const std::string &text) { SetDelimitedText(text, ',', '"'); }

std::string TStringList::Names(int i) const
{
    const std::string &s = (*this)[i];
    size_t p = s.find('=');
    return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStringList::ValueFromIndex(int i) const
{
    const std::string &s = (*this)[i];
    size_t p = s.find('=');
    return p == std::string::npos ? std::string() : s.substr(p + 1);
}

std::string TStringList::Values(const std::string &name) const
{
    int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(const std::string &name, const std::string &value)
{
    int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0)
            Delete(i);
        return;
    }
    if (i < 0)
        Add(name + "=" + value);
    else
        items_[size_t(i)].s = name + "=" + value;
}

void TStringList::SetSorted(bool on)
{
    if (on && !sorted_)
        Sort();
    sorted_ = on;
}

void TStringList::Sort()
{
    std::stable_sort(items_.begin(), items_.end(),
                     [this](const Item &a, const Item &b) { return compare(a.s, b.s) < 0; });
}

bool TStringList::Find(const std::string &s, int &index) const
{
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = compare(items_[size_t(mid)].s, s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (Duplicates != dupAccept)
                    lo = mid;
            }
        }
    }
    index = lo;
    return found;
}

void TStringList::LoadFromFile(const std::string &path)
{
    std::string bytes;
    if (!fileio::ReadFile(path, bytes))
        throw EFOpenError("Cannot open file " + path);
    SetText(bytes);
}

void TStringList::SaveToFile(const std::string &path) const
{
    if (!fileio::AtomicWriteFile(path, Text()))
        throw EFCreateError("Cannot create file " + path);
}

std::vector<std::string> TStringList::ToVector() const
{
    std::vector<std::string> r;
    r.reserve(items_.size());
    for (const Item &it : items_)
        r.push_back(it.s);
    return r;
}
