#pragma once
// An RFC 822 mail message held in memory: addresses, subject, dates and the
// other header fields, a plain body, optional MIME parts (texts and file
// attachments) and the raw header lines of a received message. It builds the
// header lines for sending and fills its fields from received ones.
#include "netclient/NetBaseComponent.h"
#include "netclient/NetEMailAddress.h"
#include "netclient/NetException.h"
#include "netclient/NetHeaderList.h"
#include "platform/Classes.h"
#include "platform/Rtl.h"

#include <memory>
#include <string>
#include <vector>

namespace NetRes {
inline constexpr const char *RSMsgCanNotCreateMessagePart =
    "TNetMessagePart can not be created.  Use descendant classes. ";
inline constexpr const char *RSMsgInvalidTextCount = "Invalid Text count. TNetText must be greater than 1";
inline constexpr const char *RSMsgLibraryName = "Net Library 1.0";
} // namespace NetRes

MIXDECK_EXCEPTION(ENetMessageException, ENetException);
MIXDECK_EXCEPTION(ENetCanNotCreateMessagePart, ENetMessageException);
MIXDECK_EXCEPTION(ENetTextInvalidCount, ENetMessageException);

enum TNetMessagePriority { mpHighest, mpHigh, mpNormal, mpLow, mpLowest };

class TNetMessageParts;

// One MIME part; only its descendants TNetText and TNetAttachment are made.
class TNetMessagePart {
public:
    virtual ~TNetMessagePart() = default;
    TNetMessagePart(const TNetMessagePart &) = delete;
    TNetMessagePart &operator=(const TNetMessagePart &) = delete;
    virtual const char *ClassName() const = 0;
    // "Content-Transfer-Encoding" and "Content-Type" of PartHeaders.
    std::string ContentTransfer() const { return PartHeaders.Values("Content-Transfer-Encoding"); }
    void SetContentTransfer(const std::string &v) { PartHeaders.SetValue("Content-Transfer-Encoding", v); }
    std::string ContentType() const { return PartHeaders.Values("Content-Type"); }
    void SetContentType(const std::string &v) { PartHeaders.SetValue("Content-Type", v); }
    // Lines written after the part's generated header lines.
    TNetHeaderList ExtraHeaders;
    TNetHeaderList PartHeaders;
    // The temporary file of an attachment being received.
    std::string StoragePath;
    // The closing boundary of a received part was seen.
    bool Closed = false;
    std::string LastHeader;
    TNetMessageParts &Collection() const { return collection_; }
    // Same class only; anything else raises EConvertError.
    virtual void Assign(const TNetMessagePart &source);

protected:
    explicit TNetMessagePart(TNetMessageParts &collection) : collection_(collection) {}

private:
    TNetMessageParts &collection_;
};

class TNetText : public TNetMessagePart {
public:
    explicit TNetText(TNetMessageParts &collection, const TStringList *body = nullptr);
    const char *ClassName() const override { return "TNetText"; }
    TStringList Body;
    void Assign(const TNetMessagePart &source) override;
};

class TNetAttachment : public TNetMessagePart {
public:
    TNetAttachment(TNetMessageParts &collection, const std::string &fileName);
    ~TNetAttachment() override;
    const char *ClassName() const override { return "TNetAttachment"; }
    std::string ContentDisposition() const { return PartHeaders.Values("Content-Disposition"); }
    void SetContentDisposition(const std::string &v) { PartHeaders.SetValue("Content-Disposition", v); }
    std::string FileName;
    // The file at StoragePath holds a received attachment's data and belongs
    // to the part: it is deleted with it.
    bool OwnsStorage = false;
    void Assign(const TNetMessagePart &source) override;
};

// The owned parts of a message, in order.
class TNetMessageParts {
public:
    TNetMessageParts() = default;
    TNetMessageParts(const TNetMessageParts &) = delete;
    TNetMessageParts &operator=(const TNetMessageParts &) = delete;
    int Count() const { return int(items_.size()); }
    TNetMessagePart &Items(int index) const { return *items_.at(size_t(index)); }
    TNetText &AddText(const TStringList *body = nullptr);
    TNetAttachment &AddAttachment(const std::string &fileName);
    // A part by its class name ("TNetText", "TNetAttachment"); the base
    // class name raises ENetCanNotCreateMessagePart.
    TNetMessagePart &AddByClassName(const std::string &className);
    // Replaces the part at index by a new one (which keeps the index).
    void Replace(int index, std::unique_ptr<TNetMessagePart> part);
    void Delete(int index);
    void Clear() { items_.clear(); }
    int IndexOf(const TNetMessagePart *part) const;

private:
    std::vector<std::unique_ptr<TNetMessagePart>> items_;
};

class TNetMessage : public TNetBaseComponent {
public:
    TNetMessage();
    ~TNetMessage() override;

    TNetEMailAddressList BccList;  // envelope only, never in a header
    TStringList Body;
    std::string CharSet;
    TNetEMailAddressList CCList;
    std::string ContentType;
    std::string ContentTransferEncoding;
    Rtl::TDateTime Date = 0;  // 0: the time the header is generated
    TNetHeaderList ExtraHeaders;
    TNetEMailAddressItem From;
    TNetHeaderList RawHeaders;
    TNetMessageParts Parts;
    std::string MessageId;
    TStringList NewsGroups;
    bool NoDecode = false;
    std::string Organization;
    TNetMessagePriority Priority = mpNormal;
    std::string Subject;
    TNetEMailAddressItem ReceiptRecipient;
    TNetEMailAddressList Recipients;
    std::string References;
    TNetEMailAddressList ReplyTo;
    TNetEMailAddressItem Sender;

    bool UseNowForDate() const { return Date == 0; }
    // True sets Date to 0; False leaves it as it is.
    void SetUseNowForDate(bool on);

    void Clear();
    void ClearHeader();
    // The header lines for sending, in their fixed order (never "Bcc").
    std::unique_ptr<TNetHeaderList> GenerateHeader() const;
    // The same with the given "Content-Type" value in place of ContentType.
    std::unique_ptr<TNetHeaderList> GenerateHeader(const std::string &contentType) const;
    // Fills the fields from RawHeaders.
    void ProcessHeaders();
};

// The priority text of a "Priority" or "X-Priority" header.
TNetMessagePriority PriorityFromText(const std::string &text);
// Local time minus UTC in force at the given local date-time (daylight
// saving included), as a date-time difference.
Rtl::TDateTime OffsetFromUTCAt(Rtl::TDateTime localTime);
// The RFC 822 date of a local date-time with the zone in force at that date.
std::string DateTimeToInternetStrAt(Rtl::TDateTime localTime);
