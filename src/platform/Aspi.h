#pragma once
// An ASPI-shaped layer over Linux: the two entry points of the ASPI for
// Win32 library (GetASPI32SupportInfo, SendASPI32Command) with request
// blocks of our own, so the disc identification talks to drives as it would
// through ASPI.
//
// Devices come from one of two backends, chosen when the layer is bound:
// - the Linux backend lists the SCSI devices of /sys/class/scsi_device
//   (host:channel:target:lun), gives each SCSI host an adapter number in the
//   order of the host numbers, takes the INQUIRY fields from the device's
//   vendor, model and rev files and sends READ TOC through the SG_IO ioctl on
//   its /dev/srN node with a time limit (the CD-ROM ioctls when SG_IO is
//   refused);
// - the simulated backend, selected by the environment variable
//   MIXDECK_CDROM_SIM naming a folder: every file "<node>.toc" there is one
//   CD-ROM drive (adapter 0, target = position in name order, LUN 0) whose
//   disc is the READ TOC reply the file holds (format 0, MSF, exactly as a
//   drive returns it, at most 804 bytes). An empty file is a drive without
//   a disc. A file that is not a whole reply is refused: the command ends
//   with an error and the buffer stays as it was. A file "<node>.fail"
//   beside it makes the drive fail after moving data, as a real one may
//   (SG_IO reports the error after a partial transfer): the reply, or its
//   first N bytes when the file holds the number N, reaches the buffer and
//   the command ends with an error.
//
// Every command completes before SendASPI32Command returns, and signals the
// request's event when it asked for one. No drive at all is an ASPI layer
// with no host adapters, never a missing layer.
#include <cstddef>
#include <cstdint>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace aspi {

// Command codes.
inline constexpr uint8_t SC_HA_INQUIRY = 0x00;
inline constexpr uint8_t SC_GET_DEV_TYPE = 0x01;
inline constexpr uint8_t SC_EXEC_SCSI_CMD = 0x02;
inline constexpr uint8_t SC_ABORT_SRB = 0x03;

// Status of a request block (and bits 8..15 of GetASPI32SupportInfo).
inline constexpr uint8_t SS_PENDING = 0x00;
inline constexpr uint8_t SS_COMP = 0x01;
inline constexpr uint8_t SS_ABORTED = 0x02;
inline constexpr uint8_t SS_ERR = 0x04;
inline constexpr uint8_t SS_INVALID_CMD = 0x80;
inline constexpr uint8_t SS_INVALID_HA = 0x81;
inline constexpr uint8_t SS_NO_DEVICE = 0x82;
inline constexpr uint8_t SS_INVALID_SRB = 0xE0;
inline constexpr uint8_t SS_NO_ADAPTERS = 0xE8;

// Request flags.
inline constexpr uint8_t SRB_DIR_IN = 0x08;
inline constexpr uint8_t SRB_EVENT_NOTIFY = 0x40;

// SCSI device type of a CD-ROM drive.
inline constexpr uint8_t DTYPE_CDROM = 0x05;

// The event a command signals when it completes (manual reset).
class AspiEvent {
public:
    void Set();
    void Reset();
    // Waits until the event is set or the time (milliseconds, rounded up
    // to whole milliseconds by the caller) has passed; true when set.
    bool WaitFor(int milliseconds);
private:
    std::mutex m_;
    std::condition_variable cv_;
    bool set_ = false;
};

// The common start of every block: command code, status, adapter, flags.
struct SRB_Header {
    uint8_t SRB_Cmd = 0;
    uint8_t SRB_Status = 0;
    uint8_t SRB_HaId = 0;
    uint8_t SRB_Flags = 0;
    uint32_t SRB_Hdr_Rsvd = 0;
};

struct SRB_HAInquiry {
    SRB_Header h;
    uint8_t HA_Count = 0;          // number of host adapters
    uint8_t HA_SCSI_ID = 0;
    char HA_ManagerId[16] = {};
    char HA_Identifier[16] = {};
    uint8_t HA_Unique[16] = {};    // byte 3: number of targets (0 means 8)
    uint16_t HA_Rsvd1 = 0;
};

struct SRB_GDEVBlock {
    SRB_Header h;
    uint8_t SRB_Target = 0;
    uint8_t SRB_Lun = 0;
    uint8_t SRB_DeviceType = 0;
    uint8_t SRB_Rsvd1 = 0;
};

inline constexpr size_t kSenseLen = 14;

struct SRB_ExecSCSICmd {
    SRB_Header h;
    uint8_t SRB_Target = 0;
    uint8_t SRB_Lun = 0;
    uint16_t SRB_Rsvd1 = 0;
    uint32_t SRB_BufLen = 0;
    uint8_t *SRB_BufPointer = nullptr;
    uint8_t SRB_SenseLen = 0;
    uint8_t SRB_CDBLen = 0;
    uint8_t SRB_HaStat = 0;
    uint8_t SRB_TargStat = 0;
    AspiEvent *SRB_PostProc = nullptr;   // signalled on completion with SRB_EVENT_NOTIFY
    uint8_t CDBByte[16] = {};
    uint8_t SenseArea[kSenseLen + 2] = {};
};

struct SRB_Abort {
    SRB_Header h;
    SRB_ExecSCSICmd *SRB_ToAbort = nullptr;
};

// One device as a backend lists it.
struct Device {
    uint8_t adapter = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    uint8_t type = 0;          // SCSI peripheral device type
    std::string vendor;        // INQUIRY fields, at most 8, 16 and 4 characters
    std::string product;
    std::string revision;
    std::string node;          // device node name, "sr0"
};

// Where the devices come from and how a READ TOC reaches them.
class Backend {
public:
    virtual ~Backend();
    // Every device, listed once when the backend is made.
    virtual const std::vector<Device> &Devices() const = 0;
    // Sends the READ TOC command (cdb, 10 bytes) to the device; the reply
    // goes into buffer (at most length bytes). Gives SS_COMP, SS_ERR with the
    // sense data filled, or SS_PENDING when the command completes later and
    // signals the event then (until an abort for the block arrives).
    virtual uint8_t ReadTOC(const Device &device, const uint8_t *cdb, uint8_t *buffer, uint32_t length,
                            uint8_t *sense, SRB_ExecSCSICmd *srb) = 0;
    // The caller gave up on a pending block: forget it.
    virtual void Abort(SRB_ExecSCSICmd *) {}
};

// The backend of this machine: the simulated one when MIXDECK_CDROM_SIM is
// set, otherwise the Linux one.
std::unique_ptr<Backend> MakeDefaultBackend();
std::unique_ptr<Backend> MakeLinuxBackend(const std::string &sysClassScsiDevice = "/sys/class/scsi_device",
                                          const std::string &devFolder = "/dev");
std::unique_ptr<Backend> MakeSimulatedBackend(const std::string &folder);

// ---- the binding (the library's variables) ----------------------------------------
// Binds the layer: makes the default backend unless one is bound. Done once
// at start-up (and by the first call of an entry point).
void Bind();
// Binds the given backend instead (tests).
void Bind(std::unique_ptr<Backend> backend);
// Releases the backend; the next entry point call binds again.
void Release();
// The layer is bound and both entry points are there.
bool Loaded();

// The device node name ("sr0") of the device at the address, empty when
// there is none: what stands where the registry gave a drive letter.
std::string DeviceNode(uint8_t adapter, uint8_t target, uint8_t lun);

// Status in bits 8..15 (SS_COMP, or SS_NO_ADAPTERS with no device), the
// number of host adapters in bits 0..7.
uint32_t GetASPI32SupportInfo();
// Carries out one request block (the first byte is its command code) and
// gives its status.
uint8_t SendASPI32Command(void *srb);

// ---- helpers the backends share --------------------------------------------------
// Largest READ TOC reply the program asks for: a 4-byte header and 100
// descriptors of 8 bytes.
inline constexpr size_t kMaxTocBytes = 804;
// Checks a READ TOC reply (format 0) held in bytes: at least its header, the
// data length of the header covering exactly the bytes that follow it, at
// most kMaxTocBytes in all, whole descriptors, and a track range that the
// descriptors hold. Empty when it is sound, else what is wrong.
std::string CheckTocReply(const uint8_t *data, size_t size);
// The INQUIRY reply (standard data, 36 bytes) of a device.
std::vector<uint8_t> InquiryData(const Device &device);

} // namespace aspi
