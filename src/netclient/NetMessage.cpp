#include "netclient/NetMessage.h"

#include "netclient/NetCoderHeader.h"
#include "netclient/NetGlobal.h"

#include <cmath>
#include <cstdio>
#include <ctime>

// ---- parts ---------------------------------------------------------------------------
void TNetMessagePart::Assign(const TNetMessagePart &source)
{
    if (std::string(source.ClassName()) != ClassName())
        throw EConvertError(Rtl::Format("Cannot assign a %s to a %s", {source.ClassName(), ClassName()}));
    SetContentTransfer(source.ContentTransfer());
    SetContentType(source.ContentType());
    ExtraHeaders.Assign(source.ExtraHeaders);
}

TNetText::TNetText(TNetMessageParts &collection, const TStringList *body) : TNetMessagePart(collection)
{
    if (body)
        Body.Assign(*body);
}

void TNetText::Assign(const TNetMessagePart &source)
{
    TNetMessagePart::Assign(source);
    Body.Assign(static_cast<const TNetText &>(source).Body);
}

TNetAttachment::TNetAttachment(TNetMessageParts &collection, const std::string &fileName)
    : TNetMessagePart(collection), FileName(fileName)
{
}

TNetAttachment::~TNetAttachment()
{
    if (OwnsStorage && !StoragePath.empty())
        std::remove(StoragePath.c_str());
}

void TNetAttachment::Assign(const TNetMessagePart &source)
{
    TNetMessagePart::Assign(source);
    const auto &a = static_cast<const TNetAttachment &>(source);
    SetContentDisposition(a.ContentDisposition());
    FileName = a.FileName;
}

TNetText &TNetMessageParts::AddText(const TStringList *body)
{
    items_.push_back(std::make_unique<TNetText>(*this, body));
    return static_cast<TNetText &>(*items_.back());
}

TNetAttachment &TNetMessageParts::AddAttachment(const std::string &fileName)
{
    items_.push_back(std::make_unique<TNetAttachment>(*this, fileName));
    return static_cast<TNetAttachment &>(*items_.back());
}

TNetMessagePart &TNetMessageParts::AddByClassName(const std::string &className)
{
    if (className == "TNetText")
        return AddText();
    if (className == "TNetAttachment")
        return AddAttachment(std::string());
    throw ENetCanNotCreateMessagePart(NetRes::RSMsgCanNotCreateMessagePart);
}

void TNetMessageParts::Replace(int index, std::unique_ptr<TNetMessagePart> part)
{
    items_.at(size_t(index)) = std::move(part);
}

void TNetMessageParts::Delete(int index) { items_.erase(items_.begin() + index); }

int TNetMessageParts::IndexOf(const TNetMessagePart *part) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == part)
            return int(i);
    return -1;
}

// ---- message ---------------------------------------------------------------------------
TNetMessage::TNetMessage() { Clear(); }

TNetMessage::~TNetMessage() = default;

void TNetMessage::SetUseNowForDate(bool on)
{
    if (on)
        Date = 0;
}

void TNetMessage::ClearHeader()
{
    CCList.Clear();
    BccList.Clear();
    ReplyTo.Clear();
    Recipients.Clear();
    Date = 0;
    From.SetText("");
    ReceiptRecipient.SetText("");
    Sender.SetText("");
    NewsGroups.Clear();
    RawHeaders.Clear();
    ExtraHeaders.Clear();
    Organization.clear();
    References.clear();
    Subject.clear();
    ContentType.clear();
    CharSet.clear();
    ContentTransferEncoding.clear();
    Priority = mpNormal;
}

void TNetMessage::Clear()
{
    ClearHeader();
    Parts.Clear();
    Body.Clear();
}

namespace {

TNetEMailAddressItem oneLineItem(const TNetEMailAddressItem &item)
{
    TNetEMailAddressItem out;
    out.Address = HeaderValueOneLine(item.Address);
    out.Name = HeaderValueOneLine(item.Name);
    return out;
}

TNetEMailAddressList oneLineList(const TNetEMailAddressList &list)
{
    TNetEMailAddressList out;
    for (int i = 0; i < list.Count(); ++i)
        out.Add() = oneLineItem(list.Items(i));
    return out;
}

} // namespace

Rtl::TDateTime OffsetFromUTCAt(Rtl::TDateTime localTime)
{
    int y, mo, d, h, mi, s, ms;
    Rtl::DecodeDate(localTime, y, mo, d);
    Rtl::DecodeTime(localTime, h, mi, s, ms);
    struct tm t {};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_isdst = -1;  // the system decides whether daylight saving applies then
    if (mktime(&t) == time_t(-1))
        return OffsetFromUTC();
    return double(t.tm_gmtoff / 60) / 1440.0;
}

std::string DateTimeToInternetStrAt(Rtl::TDateTime localTime)
{
    // The general form carries today's zone; the zone of the date itself replaces it.
    std::string text = DateTimeToInternetStr(localTime);
    text.resize(text.rfind(' ') + 1);
    return text + DateTimeToGmtOffsetStr(OffsetFromUTCAt(localTime), false);
}

std::unique_ptr<TNetHeaderList> TNetMessage::GenerateHeader() const { return GenerateHeader(ContentType); }

std::unique_ptr<TNetHeaderList> TNetMessage::GenerateHeader(const std::string &contentType) const
{
    const TMimeSettings mime = MimeSettingsFromLocale();
    const char enc = mime.HeaderEncoding;
    auto h = std::make_unique<TNetHeaderList>();
    auto text = [&](const std::string &v) {
        return EncodeHeaderText(HeaderValueOneLine(v), "", enc, mime.JisMode, mime.CharSet);
    };
    h->SetValue("From", EncodeAddressText(oneLineItem(From), enc, mime.JisMode, mime.CharSet));
    h->SetValue("Subject", text(Subject));
    h->SetValue("To", EncodeAddressListText(oneLineList(Recipients), enc, mime.JisMode, mime.CharSet));
    h->SetValue("Cc", EncodeAddressListText(oneLineList(CCList), enc, mime.JisMode, mime.CharSet));
    h->SetValue("Newsgroups", HeaderValueOneLine(NewsGroups.CommaText()));
    h->SetValue("Content-Type", HeaderValueOneLine(contentType));
    if (Parts.Count() > 0)
        h->SetValue("MIME-Version", "1.0");
    h->SetValue("Content-Transfer-Encoding", HeaderValueOneLine(ContentTransferEncoding));
    h->SetValue("Sender", HeaderValueOneLine(Sender.Text()));
    h->SetValue("Reply-To", EncodeAddressListText(oneLineList(ReplyTo), enc, mime.JisMode, mime.CharSet));
    h->SetValue("Organization", text(Organization));
    h->SetValue("Disposition-Notification-To",
                EncodeAddressText(oneLineItem(ReceiptRecipient), enc, mime.JisMode, mime.CharSet));
    h->SetValue("References", HeaderValueOneLine(References));
    h->SetValue("Date", DateTimeToInternetStrAt(UseNowForDate() ? Rtl::Now() : Date));
    h->SetValue("X-Priority", std::to_string(int(Priority) + 1));
    h->SetValue("X-Library", NetRes::RSMsgLibraryName);
    for (int i = 0; i < ExtraHeaders.Count(); ++i)
        h->Add(HeaderValueOneLine(ExtraHeaders[i]));
    return h;
}

TNetMessagePriority PriorityFromText(const std::string &text)
{
    const std::string low = Rtl::LowerCase(text);
    if (low.find("urgent") != std::string::npos)
        return mpHigh;
    if (low.find("non-priority") != std::string::npos)
        return mpLow;
    std::string t = Rtl::Trim(text);
    t = Rtl::Trim(t.substr(0, t.find(' ')));
    const int ordinal = Rtl::StrToIntDef(t, 3) - 1;
    if (ordinal <= int(mpHighest))
        return mpHighest;
    if (ordinal >= int(mpLowest))
        return mpLowest;
    return TNetMessagePriority(ordinal);
}

void TNetMessage::ProcessHeaders()
{
    const TNetHeaderList &r = RawHeaders;
    ContentType = r.Values("Content-Type");
    ContentTransferEncoding = r.Values("Content-Transfer-Encoding");
    Subject = DecodeEncodedWords(r.Values("Subject"));
    From.SetText(DecodeEncodedWords(r.Values("From")));
    MessageId = r.Values("Message-Id");
    CommaSeparatedToStringList(NewsGroups, r.Values("Newsgroups"));
    Recipients.SetEMailAddresses(DecodeEncodedWords(r.Values("To")));
    CCList.SetEMailAddresses(DecodeEncodedWords(r.Values("Cc")));
    Organization = r.Values("Organization");
    ReceiptRecipient.SetText(r.Values("Disposition-Notification-To"));
    if (ReceiptRecipient.Text().empty())
        ReceiptRecipient.SetText(r.Values("Return-Receipt-To"));
    References = r.Values("References");
    ReplyTo.SetEMailAddresses(r.Values("Reply-To"));
    std::string date = r.Values("Date");
    Date = date.empty() ? 0.0 : GMTToLocalDateTime(date);
    Sender.SetText(r.Values("Sender"));
    const std::string priority = r.IndexOfName("Priority") >= 0 ? r.Values("Priority") : r.Values("X-Priority");
    Priority = PriorityFromText(priority);
}
