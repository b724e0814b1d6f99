#include "netclient/NetEMailAddress.h"

#include "netclient/NetGlobal.h"
#include "platform/Classes.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

void TNetEMailAddressItem::Assign(const TNetEMailAddressItem &source)
{
    Address = source.Address;
    Name = source.Name;
}

std::string TNetEMailAddressItem::Text() const
{
    if (!Name.empty() && Name != Rtl::UpperCase(Address))
        return Name + " <" + Address + ">";
    return Address;
}

void TNetEMailAddressItem::SetText(const std::string &text)
{
    Address.clear();
    Name.clear();
    if (!text.empty() && text.back() == '>') {
        const size_t open = text.find('<');
        if (open != std::string::npos) {
            Address = Rtl::Trim(text.substr(open + 1, text.size() - open - 2));
            Name = Rtl::Trim(text.substr(0, open));
        }
    } else if (!text.empty() && text.back() == ')') {
        const size_t open = text.find('(');
        if (open != std::string::npos) {
            Name = Rtl::Trim(text.substr(open + 1, text.size() - open - 2));
            Address = Rtl::Trim(text.substr(0, open));
        }
    } else {
        Address = text;
    }
    while (Name.size() >= 2
           && ((Name.front() == '"' && Name.back() == '"') || (Name.front() == '\'' && Name.back() == '\'')))
        Name = Name.substr(1, Name.size() - 2);
}

TNetEMailAddressItem &TNetEMailAddressList::Add()
{
    return items_.emplace_back();
}

TNetEMailAddressItem &TNetEMailAddressList::Items(int index)
{
    if (index < 0 || index >= Count())
        throw EListError(Rtl::Format("List index out of bounds (%d)", {index}));
    return items_[size_t(index)];
}

const TNetEMailAddressItem &TNetEMailAddressList::Items(int index) const
{
    return const_cast<TNetEMailAddressList *>(this)->Items(index);
}

void TNetEMailAddressList::SetEMailAddresses(const std::string &text)
{
    // A comma inside one double-quoted name does not split (the library's rule).
    TStringList pieces;
    CommaSeparatedToStringList(pieces, text);
    items_.clear();
    for (int i = 0; i < pieces.Count(); ++i)
        Add().SetText(pieces[i]);
}
