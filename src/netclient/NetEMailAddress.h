#pragma once
// One e-mail address with an optional display name, an ordered list of them,
// and their header text forms.
#include <deque>
#include <string>

class TNetEMailAddressItem {
public:
    TNetEMailAddressItem() = default;
    std::string Address;  // local part, at sign, domain
    std::string Name;     // display name without surrounding quotes

    void Assign(const TNetEMailAddressItem &source);
    // Name + " <" + Address + ">" when Name is set and is not Address in
    // capitals; otherwise Address. No quoting or encoding.
    std::string Text() const;
    // Reads "Name <address>", "address (Name)" or a bare address (kept as it
    // stands); surrounding double or single quotes leave the name.
    void SetText(const std::string &text);
};

class TNetEMailAddressList {
public:
    TNetEMailAddressList() = default;
    TNetEMailAddressItem &Add();
    TNetEMailAddressItem &Items(int index);
    const TNetEMailAddressItem &Items(int index) const;
    int Count() const { return int(items_.size()); }
    void Clear() { items_.clear(); }
    // Empties the list and adds one item per comma-separated piece (a comma
    // inside one double-quoted name does not split); pieces are trimmed and
    // empty ones dropped.
    void SetEMailAddresses(const std::string &text);

private:
    std::deque<TNetEMailAddressItem> items_;
};
