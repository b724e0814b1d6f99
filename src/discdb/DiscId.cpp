#include "discdb/DiscId.h"

#include "compilation/TapeModel.h"
#include "platform/Aspi.h"
#include "platform/Rtl.h"

#include <algorithm>
#include <cstring>

using namespace Rtl;

namespace discid {

namespace {

// Descriptor i of the reply (zeros beyond size).
struct Descriptor {
    uint8_t control = 0;
    uint8_t m = 0, s = 0, f = 0;
    uint32_t raw = 0;   // the 4 address bytes, most significant first
};

Descriptor descriptor(const uint8_t *toc, size_t size, int i)
{
    Descriptor d;
    const size_t at = 4 + 8 * size_t(i);
    auto byte = [&](size_t k) -> uint8_t { return at + k < size ? toc[at + k] : 0; };
    d.control = byte(1);
    d.m = byte(5);
    d.s = byte(6);
    d.f = byte(7);
    d.raw = (uint32_t(byte(4)) << 24) | (uint32_t(d.m) << 16) | (uint32_t(d.s) << 8) | d.f;
    return d;
}

int seconds(const Descriptor &d) { return d.m * 60 + d.s; }
bool isAudio(const Descriptor &d) { return (d.control & 0x04) == 0; }

std::string timeText(int seconds)
{
    return tape::LeadingZero(seconds / 60) + ":" + tape::LeadingZero(seconds % 60);
}

} // namespace

int cddb_sum(int n)
{
    int r = 0;
    while (n > 0) {
        r += n % 10;
        n /= 10;
    }
    return r;
}

int TrackLimit(const uint8_t *toc, size_t size)
{
    size = std::min(size, kTocBytes);
    if (size < 4)
        return 0;
    const size_t held = std::min(size, ((size_t(toc[0]) << 8) | toc[1]) + 2);
    const int descriptors = held >= 4 ? int((held - 4) / 8) : 0;
    return std::max(0, std::min({int(toc[3]), descriptors - 1, kMaxTracks}));
}

TocResult Compute(const uint8_t *toc, size_t size)
{
    size = std::min(size, kTocBytes);
    TocResult r;
    const int L = TrackLimit(toc, size);
    const int first = size >= 4 ? toc[2] : 0;
    const int last = size >= 4 ? toc[3] : 0;

    // The PID: start addresses of the audio tracks.
    uint32_t sum = 0;
    for (int i = 0; i <= std::min(last - first, L - 1); ++i) {
        const Descriptor d = descriptor(toc, size, i);
        if (isAudio(d))
            sum += d.raw;
    }
    r.CDPID = IntToHex(int64_t(sum), 16);

    r.TotalTracks = L;
    r.CDDBQueryCmd = IntToStr(L);
    int n = 0;
    r.Tracks.resize(size_t(L));
    for (int i = 0; i < L; ++i) {
        const Descriptor d = descriptor(toc, size, i);
        n += cddb_sum(seconds(d));
        r.CDDBQueryCmd += " " + IntToStr(seconds(d) * 75 + d.f);
        TTracksInfos &t = r.Tracks[size_t(i)];
        if (isAudio(d)) {
            const Descriptor next = descriptor(toc, size, i + 1);
            int length = seconds(next) - seconds(d);
            if (!isAudio(next))
                length -= 150;  // the gap before a data session
            // A short track before a data track would come out negative.
            t.TrackTime = timeText(std::max(length, 0));
            t.IsAudio = true;
            ++r.TotalAudioTracks;
            r.ListedTracks = i + 1;
        } else {
            t.TrackTime = "--:--";
            t.IsAudio = false;
            ++r.TotalDataTracks;
        }
    }
    const int leadOut = seconds(descriptor(toc, size, L));
    r.TPT = timeText(leadOut);
    const int t = leadOut - seconds(descriptor(toc, size, 0));
    r.CDDBQueryCmd += " " + IntToStr(leadOut);
    const uint32_t id = (uint32_t(n % 255) << 24) | ((uint32_t(t) & 0xFFFF) << 8) | uint32_t(L);
    r.CDDBDiscId = LowerCase(IntToHex(int64_t(id), 8));
    return r;
}

} // namespace discid

// ---- the component -----------------------------------------------------------------------

TDiscId::TDiscId()
    : AssignedDrivesLetters(std::make_unique<TStringList>()), AvailableCDROMS(std::make_unique<TStringList>())
{
}

TDiscId::~TDiscId() = default;

std::string TDiscId::LeadingZero(int n) { return tape::LeadingZero(n); }

bool TDiscId::GetASPI32Support()
{
    if (!aspi::Loaded())
        return false;
    const uint32_t info = aspi::GetASPI32SupportInfo();
    if (((info >> 8) & 0xFF) == aspi::SS_COMP)
        HostAdapterCount = uint8_t(info & 0xFF);
    return true;
}

void TDiscId::GetCDDrives()
{
    for (int adapter = 0; adapter < HostAdapterCount; ++adapter) {
        aspi::SRB_HAInquiry inquiry;
        inquiry.h.SRB_Cmd = aspi::SC_HA_INQUIRY;
        inquiry.h.SRB_HaId = uint8_t(adapter);
        aspi::SendASPI32Command(&inquiry);
        if (inquiry.h.SRB_Status != aspi::SS_COMP)
            continue;
        const int targets = inquiry.HA_Unique[3] == 0 ? 7 : inquiry.HA_Unique[3];
        for (int target = 0; target < targets; ++target) {
            for (int lun = 0; lun < 8; ++lun) {
                aspi::SRB_GDEVBlock dev;
                dev.h.SRB_Cmd = aspi::SC_GET_DEV_TYPE;
                dev.h.SRB_HaId = uint8_t(adapter);
                dev.SRB_Target = uint8_t(target);
                dev.SRB_Lun = uint8_t(lun);
                aspi::SendASPI32Command(&dev);
                if (dev.h.SRB_Status != aspi::SS_COMP || dev.SRB_DeviceType != aspi::DTYPE_CDROM)
                    continue;
                const std::string text = CDROMText(uint8_t(adapter), uint8_t(target), uint8_t(lun));
                AvailableCDROMS->Add(Format("(%.2d:%.2d:%.2d) %s", {adapter, target, lun, text}));
                // The device node stands where the drive letter stood.
                AssignedDrivesLetters->Add(
                    aspi::DeviceNode(uint8_t(adapter), uint8_t(target), uint8_t(lun)));
            }
        }
    }
    TotalCDROMS = uint8_t(std::min(AvailableCDROMS->Count(), 255));
}

namespace {

// A SCSI command that reads data, with event notification.
aspi::SRB_ExecSCSICmd dataInRequest(uint8_t adapter, uint8_t target, uint8_t lun, uint8_t *buffer, uint32_t length,
                                    const uint8_t *cdb, uint8_t cdbLength, aspi::AspiEvent &event)
{
    aspi::SRB_ExecSCSICmd srb;
    srb.h.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    srb.h.SRB_HaId = adapter;
    srb.h.SRB_Flags = aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY;
    srb.SRB_Target = target;
    srb.SRB_Lun = lun;
    srb.SRB_BufLen = length;
    srb.SRB_BufPointer = buffer;
    srb.SRB_SenseLen = aspi::kSenseLen;
    srb.SRB_CDBLen = cdbLength;
    srb.SRB_PostProc = &event;
    std::memcpy(srb.CDBByte, cdb, cdbLength);
    return srb;
}

} // namespace

bool TDiscId::Execute(void *srb, aspi::AspiEvent &event)
{
    event.Reset();
    if (aspi::SendASPI32Command(srb) != aspi::SS_PENDING)
        return true;
    if (event.WaitFor(CommandTimeoutMs))
        return true;
    // The drive did not answer in time: the request is withdrawn and its
    // buffer no longer written.
    aspi::SRB_Abort abort;
    abort.h.SRB_Cmd = aspi::SC_ABORT_SRB;
    abort.h.SRB_HaId = static_cast<aspi::SRB_Header *>(srb)->SRB_HaId;
    abort.SRB_ToAbort = static_cast<aspi::SRB_ExecSCSICmd *>(srb);
    aspi::SendASPI32Command(&abort);
    return false;
}

std::string TDiscId::CDROMText(uint8_t adapter, uint8_t target, uint8_t lun)
{
    uint8_t buffer[100] = {};
    aspi::AspiEvent event;
    const uint8_t cdb[6] = {0x12, uint8_t(lun << 5), 0x00, 0x00, 100, 0x00};
    aspi::SRB_ExecSCSICmd srb = dataInRequest(adapter, target, lun, buffer, sizeof buffer, cdb, 6, event);
    if (!Execute(&srb, event))
        std::memset(buffer, 0, sizeof buffer);
    const std::string text(reinterpret_cast<const char *>(buffer), sizeof buffer);
    const std::string vendor = TrimRight(Copy(text, 9, 8));
    const std::string product = TrimRight(Copy(text, 17, 16));
    const std::string revision = TrimRight(Copy(text, 33, 4));
    return vendor + " " + product + " " + revision;
}

void TDiscId::GetCDROMLoc(const std::string &line, uint8_t &adapter, uint8_t &target, uint8_t &lun)
{
    adapter = uint8_t(StrToIntDef(Copy(line, 2, 2), 0));
    target = uint8_t(StrToIntDef(Copy(line, 5, 2), 0));
    lun = uint8_t(StrToIntDef(Copy(line, 8, 2), 0));
}

void TDiscId::ReadTOC(const std::string &line)
{
    uint8_t adapter = 0, target = 0, lun = 0;
    GetCDROMLoc(line, adapter, target, lun);
    TOCArea.fill(0);
    aspi::AspiEvent event;
    // MSF addresses, format 0, from the first track, 804 bytes at most.
    const uint8_t cdb[10] = {0x43, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x24, 0x00};
    aspi::SRB_ExecSCSICmd srb =
        dataInRequest(adapter, target, lun, TOCArea.data(), uint32_t(TOCArea.size()), cdb, 10, event);
    // A failed read (no disc, drive not ready, no answer in time) leaves
    // the area cleared.
    if (!Execute(&srb, event) || srb.h.SRB_Status != aspi::SS_COMP)
        TOCArea.fill(0);
}

void TDiscId::FillCDProperties(const std::string &line)
{
    TotalAudioTracks = 0;
    TotalDataTracks = 0;
    ReadTOC(line);
    const discid::TocResult r = discid::Compute(TOCArea.data(), TOCArea.size());
    CDPID = r.CDPID;
    TotalTracks = r.TotalTracks;
    CDDBQueryCmd = r.CDDBQueryCmd;
    for (int i = 0; i < r.TotalTracks; ++i)
        TracksInfo[size_t(i)] = r.Tracks[size_t(i)];
    TotalAudioTracks = r.TotalAudioTracks;
    TotalDataTracks = r.TotalDataTracks;
    ListedTracks = r.ListedTracks;
    TPT = r.TPT;
    CDDBDiscId = r.CDDBDiscId;
}

void TDiscId::GetCDProperties(const std::string &line) { FillCDProperties(line); }
