#pragma once
// Disc identification: lists the CD-ROM drives through the ASPI-shaped
// layer, reads the table of contents of the disc in one of them and derives
// the catalogue key (PID), the freedb disc id, the query text, the total
// playing time, each track's time and the numbers of audio and data tracks.
//
// The computations work on the READ TOC reply alone (discid::Compute), so
// they are the same for a real drive, the simulated one and the tests.
#include "platform/Classes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace aspi {
class AspiEvent;
}

// One track of the disc read: "mm:ss" for an audio track, "--:--" for a
// data track.
struct TTracksInfos {
    std::string TrackTime;
    bool IsAudio = false;
};
// Entry i belongs to track i + 1.
using TTracksInfo = std::array<TTracksInfos, 100>;

namespace discid {

inline constexpr size_t kTocBytes = 804;  // a 4-byte header and 100 descriptors
inline constexpr int kMaxTracks = 99;     // the descriptors hold 99 tracks and the lead-out

// What one table of contents gives.
struct TocResult {
    std::string CDDBDiscId;     // 8 lower-case hex digits
    std::string CDDBQueryCmd;   // "L f1 f2 ... fL seconds"
    std::string CDPID;          // 16 upper-case hex digits
    std::string TPT;            // "mm:ss"
    int TotalTracks = 0;        // tracks taken from the table (the lead-out is descriptor TotalTracks)
    int TotalAudioTracks = 0;
    int TotalDataTracks = 0;
    // The tracks a window lists: from the first track through the last
    // audio track, so a data track before audio tracks is listed (as
    // "--:--") and none of the audio tracks is left out; 0 without audio.
    int ListedTracks = 0;
    std::vector<TTracksInfos> Tracks;  // TotalTracks entries
};

// The number of tracks taken from a reply: the header's last track number,
// bounded by the descriptors the header's data length and the bytes hold
// (one of them the lead-out) and by 99.
int TrackLimit(const uint8_t *toc, size_t size);
// Computes everything from a READ TOC reply in MSF form (format 0). Bytes
// beyond size count as 0; at most kTocBytes are looked at.
TocResult Compute(const uint8_t *toc, size_t size);

// The sum of the decimal digits of n; 0 when n <= 0.
int cddb_sum(int n);

} // namespace discid

class TDiscId {
public:
    TDiscId();
    ~TDiscId();

    std::unique_ptr<TStringList> AssignedDrivesLetters;   // per drive: its device node name ("sr0") or empty
    std::unique_ptr<TStringList> AvailableCDROMS;         // "(aa:tt:ll) vendor product revision"
    std::string CDDBDiscId;
    std::string CDDBQueryCmd;
    std::string CDPID;
    std::string TPT;
    int TotalAudioTracks = 0;
    uint8_t TotalCDROMS = 0;
    int TotalDataTracks = 0;
    int TotalTracks = 0;
    int ListedTracks = 0;   // see discid::TocResult
    TTracksInfo TracksInfo;

    // How long one INQUIRY or READ TOC may take before it counts as failed
    // (milliseconds).
    int CommandTimeoutMs = 20000;

    bool GetASPI32Support();
    void GetCDDrives();
    void GetCDProperties(const std::string &line);

    // ---- internal operations, public for the tests -------------------------------------
    std::string CDROMText(uint8_t adapter, uint8_t target, uint8_t lun);
    static void GetCDROMLoc(const std::string &line, uint8_t &adapter, uint8_t &target, uint8_t &lun);
    void ReadTOC(const std::string &line);
    void FillCDProperties(const std::string &line);
    static std::string LeadingZero(int n);

    const std::array<uint8_t, discid::kTocBytes> &TOC() const { return TOCArea; }

private:
    // Sends one SCSI command and waits for it at most CommandTimeoutMs;
    // false when it did not complete in time (it is then aborted).
    bool Execute(void *srb, aspi::AspiEvent &event);
    uint8_t HostAdapterCount = 0;
    std::array<uint8_t, discid::kTocBytes> TOCArea{};
};
