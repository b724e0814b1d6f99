#pragma once
// TStringList: an ordered list of byte-string lines, each with an optional
// object pointer, as the original class library has it.
#include <cstdint>
#include <string>
#include <vector>

class TStringList {
public:
    TStringList() = default;

    int Count() const { return int(items_.size()); }
    // Room for that many lines without growing (the list's Capacity).
    void SetCapacity(int n) { items_.reserve(size_t(n > 0 ? n : 0)); }
    bool Empty() const { return items_.empty(); }
    // Throws EListError "List index out of bounds (%d)" for a bad index.
    const std::string &operator[](int i) const;
    const std::string &Strings(int i) const { return (*this)[i]; }
    void Put(int i, const std::string &s);
    void *Objects(int i) const;
    void PutObject(int i, void *o);

    // Appends (or, when Sorted, inserts in order); returns the index.
    int Add(const std::string &s);
    int AddObject(const std::string &s, void *o);
    void Insert(int i, const std::string &s);
    void Delete(int i);
    void Clear();
    void Exchange(int a, int b);
    void Move(int from, int to);
    // Case-insensitive (ANSI) comparison; -1 when absent.
    int IndexOf(const std::string &s) const;
    int IndexOfName(const std::string &name) const;
    int IndexOfObject(const void *o) const;
    void Assign(const TStringList &other);
    void AddStrings(const TStringList &other);

    // Lines joined with CR LF, each line followed by it.
    std::string Text() const;
    // Split at CR LF, LF or CR; a final line break adds no empty line.
    void SetText(const std::string &text);
    // Comma-separated: items with blanks, commas or quotes are double-quoted.
    std::string CommaText() const;
    void SetCommaText(const std::string &text);
    std::string DelimitedText(char delimiter, char quote = '"') const;
    void SetDelimitedText(const std::string &text, char delimiter, char quote = '"');

    // name=value lines.
    std::string Names(int i) const;
    std::string ValueFromIndex(int i) const;
    std::string Values(const std::string &name) const;
    // An empty value removes the line.
    void SetValue(const std::string &name, const std::string &value);

    bool Sorted() const { return sorted_; }
    void SetSorted(bool on);
    enum TDuplicates { dupIgnore, dupAccept, dupError };
    TDuplicates Duplicates = dupAccept;
    bool CaseSensitive = false;
    void Sort();
    // Sorted lists: binary search; true and the index when found, else false
    // and the insertion index.
    bool Find(const std::string &s, int &index) const;

    void LoadFromFile(const std::string &path);  // throws EFOpenError "Cannot open file %s"
    void SaveToFile(const std::string &path) const;  // atomic; throws EFCreateError

    std::vector<std::string> ToVector() const;

private:
    int compare(const std::string &a, const std::string &b) const;
    void check(int i) const;
    struct Item { std::string s; void *o = nullptr; };
    std::vector<Item> items_;
    bool sorted_ = false;
};
