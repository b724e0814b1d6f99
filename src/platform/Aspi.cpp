#include "platform/Aspi.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include <dirent.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace aspi {

// ---- the event ----------------------------------------------------------------------

void AspiEvent::Set()
{
    // Notified under the lock: a waiter that wakes may destroy the event as
    // soon as it has the lock, so nothing here touches it after that.
    std::lock_guard<std::mutex> lock(m_);
    set_ = true;
    cv_.notify_all();
}

void AspiEvent::Reset()
{
    std::lock_guard<std::mutex> lock(m_);
    set_ = false;
}

bool AspiEvent::WaitFor(int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, milliseconds));
    std::unique_lock<std::mutex> lock(m_);
    // wait_until waits for the time really left on every wake-up.
    return cv_.wait_until(lock, deadline, [this] { return set_; });
}

Backend::~Backend() = default;

// ---- shared helpers -------------------------------------------------------------------

namespace {

// Sense data of a failed command: fixed format, key and additional code.
void fillSense(uint8_t *sense, uint8_t key, uint8_t asc)
{
    if (!sense)
        return;
    std::memset(sense, 0, kSenseLen);
    sense[0] = 0x70;
    sense[2] = key;
    sense[7] = uint8_t(kSenseLen - 8);
    sense[12] = asc;
}

constexpr uint8_t kNotReady = 0x02, kIllegalRequest = 0x05;
constexpr uint8_t kMediumNotPresent = 0x3A, kInvalidField = 0x24, kInvalidOpcode = 0x20;

// Text of a small file (sysfs attributes), at most limit bytes, without the
// line end; empty when it cannot be read.
std::string readSmallFile(const std::string &path, size_t limit = 256)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string s(limit, '\0');
    ssize_t n = ::read(fd, s.data(), limit);
    ::close(fd);
    if (n <= 0)
        return {};
    s.resize(size_t(n));
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

std::vector<std::string> listFolder(const std::string &folder)
{
    std::vector<std::string> names;
    DIR *d = ::opendir(folder.c_str());
    if (!d)
        return names;
    while (dirent *e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// Padded or cut to the width, as the INQUIRY fields are.
void putField(std::vector<uint8_t> &out, size_t at, const std::string &text, size_t width)
{
    for (size_t i = 0; i < width; ++i)
        out[at + i] = i < text.size() ? uint8_t(text[i]) : uint8_t(' ');
}

} // namespace

std::vector<uint8_t> InquiryData(const Device &device)
{
    std::vector<uint8_t> d(36, 0);
    d[0] = device.type & 0x1F;
    d[1] = device.type == DTYPE_CDROM ? 0x80 : 0x00;  // removable medium
    d[2] = 0x05;
    d[3] = 0x02;
    d[4] = 31;  // additional length
    putField(d, 8, device.vendor, 8);
    putField(d, 16, device.product, 16);
    putField(d, 32, device.revision, 4);
    return d;
}

std::string CheckTocReply(const uint8_t *data, size_t size)
{
    if (size < 4)
        return "shorter than its header";
    if (size > kMaxTocBytes)
        return "longer than 804 bytes";
    const size_t dataLength = (size_t(data[0]) << 8) | data[1];
    if (dataLength + 2 != size)
        return "data length " + std::to_string(dataLength) + " does not match the " + std::to_string(size) +
               " bytes";
    if ((size - 4) % 8 != 0)
        return "not whole track descriptors";
    const size_t descriptors = (size - 4) / 8;
    const int first = data[2], last = data[3];
    if (first < 1 || last < first || last > 99)
        return "track range " + std::to_string(first) + ".." + std::to_string(last);
    if (descriptors != size_t(last - first + 2))
        return "track range " + std::to_string(first) + ".." + std::to_string(last) + " with " +
               std::to_string(descriptors) + " descriptors";
    if (data[4 + 8 * (descriptors - 1) + 2] != 0xAA)
        return "no lead-out descriptor";
    return {};
}

// ---- the simulated backend --------------------------------------------------------------

namespace {

class SimulatedBackend : public Backend {
public:
    explicit SimulatedBackend(std::string folder) : folder_(std::move(folder))
    {
        uint8_t target = 0;
        for (const std::string &name : listFolder(folder_)) {
            if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".toc") != 0)
                continue;
            if (target >= 7)
                break;  // an adapter has targets 0..6
            Device d;
            d.adapter = 0;
            d.target = target++;
            d.lun = 0;
            d.type = DTYPE_CDROM;
            d.node = name.substr(0, name.size() - 4);
            d.vendor = "MIXDECK";
            d.product = "Simulated CD";
            d.revision = "1.0";
            devices_.push_back(d);
        }
    }
    const std::vector<Device> &Devices() const override { return devices_; }

    uint8_t ReadTOC(const Device &device, const uint8_t *cdb, uint8_t *buffer, uint32_t length, uint8_t *sense,
                    SRB_ExecSCSICmd *) override
    {
        if ((cdb[1] & 0x02) == 0 || (cdb[2] & 0x0F) != 0 || cdb[6] > 1) {
            // Only the format-0 table in MSF form from the first track.
            fillSense(sense, kIllegalRequest, kInvalidField);
            return SS_ERR;
        }
        const std::string path = folder_ + "/" + device.node + ".toc";
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            fillSense(sense, kNotReady, kMediumNotPresent);
            return SS_ERR;
        }
        struct stat st {};
        uint8_t reply[kMaxTocBytes + 1];
        ssize_t got = -1;
        // The size is checked before anything is read.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= off_t(kMaxTocBytes))
            got = ::read(fd, reply, sizeof reply);
        ::close(fd);
        if (got == 0) {
            fillSense(sense, kNotReady, kMediumNotPresent);  // an empty drive
            return SS_ERR;
        }
        if (got < 0 || !CheckTocReply(reply, size_t(got)).empty()) {
            fillSense(sense, kNotReady, 0x57);  // unable to recover table of contents
            return SS_ERR;
        }
        size_t moved = std::min<size_t>(size_t(got), length);
        const std::string failPath = folder_ + "/" + device.node + ".fail";
        struct stat failSt {};
        const bool fails = ::lstat(failPath.c_str(), &failSt) == 0 && S_ISREG(failSt.st_mode);
        if (fails) {
            // A drive that fails after part of the reply has come.
            const std::string part = readSmallFile(failPath);
            if (!part.empty())
                moved = std::min<size_t>(moved, std::strtoul(part.c_str(), nullptr, 10));
        }
        std::memcpy(buffer, reply, moved);
        if (fails) {
            fillSense(sense, kNotReady, 0x57);
            return SS_ERR;
        }
        return SS_COMP;
    }

private:
    std::string folder_;
    std::vector<Device> devices_;
};

// ---- the Linux backend ----------------------------------------------------------------------

// The time a drive gets to answer one command.
constexpr unsigned kCommandTimeoutMs = 15000;

class LinuxBackend : public Backend {
public:
    LinuxBackend(const std::string &sysFolder, std::string devFolder) : devFolder_(std::move(devFolder))
    {
        struct Entry {
            unsigned host, channel, target, lun;
            std::string name;
        };
        std::vector<Entry> entries;
        for (const std::string &name : listFolder(sysFolder)) {
            Entry e{};
            char tail = 0;
            if (std::sscanf(name.c_str(), "%u:%u:%u:%u%c", &e.host, &e.channel, &e.target, &e.lun, &tail) != 4)
                continue;
            if (e.channel != 0 || e.target > 254 || e.lun > 7)
                continue;  // beyond what an ASPI address holds
            e.name = name;
            entries.push_back(e);
        }
        std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
            return std::tie(a.host, a.target, a.lun) < std::tie(b.host, b.target, b.lun);
        });
        std::map<unsigned, uint8_t> adapterOf;
        for (const Entry &e : entries) {
            if (!adapterOf.count(e.host)) {
                if (adapterOf.size() >= 255)
                    break;
                adapterOf.emplace(e.host, uint8_t(adapterOf.size()));
            }
            const std::string dev = sysFolder + "/" + e.name + "/device";
            Device d;
            d.adapter = adapterOf[e.host];
            d.target = uint8_t(e.target);
            d.lun = uint8_t(e.lun);
            d.type = uint8_t(std::atoi(readSmallFile(dev + "/type").c_str()) & 0x1F);
            d.vendor = readSmallFile(dev + "/vendor").substr(0, 8);
            d.product = readSmallFile(dev + "/model").substr(0, 16);
            d.revision = readSmallFile(dev + "/rev").substr(0, 4);
            const std::vector<std::string> block = listFolder(dev + "/block");
            if (!block.empty())
                d.node = block.front();
            devices_.push_back(d);
        }
    }
    const std::vector<Device> &Devices() const override { return devices_; }

    uint8_t ReadTOC(const Device &device, const uint8_t *cdb, uint8_t *buffer, uint32_t length, uint8_t *sense,
                    SRB_ExecSCSICmd *) override
    {
        if (device.node.empty() || device.node.find('/') != std::string::npos) {
            fillSense(sense, kNotReady, kMediumNotPresent);
            return SS_ERR;
        }
        const std::string path = devFolder_ + "/" + device.node;
        int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            fillSense(sense, kNotReady, kMediumNotPresent);
            return SS_ERR;
        }
        uint8_t status = ReadTocSgIo(fd, cdb, buffer, length, sense);
        if (status == SS_INVALID_CMD)
            status = ReadTocIoctl(fd, buffer, length, sense);
        ::close(fd);
        return status;
    }

private:
    // SS_INVALID_CMD when the node does not take SG_IO.
    static uint8_t ReadTocSgIo(int fd, const uint8_t *cdb, uint8_t *buffer, uint32_t length, uint8_t *sense)
    {
        uint8_t command[10];
        std::memcpy(command, cdb, sizeof command);
        uint8_t senseBuf[32] = {};
        sg_io_hdr_t io{};
        io.interface_id = 'S';
        io.dxfer_direction = SG_DXFER_FROM_DEV;
        io.cmd_len = sizeof command;
        io.cmdp = command;
        io.dxfer_len = length;
        io.dxferp = buffer;
        io.mx_sb_len = sizeof senseBuf;
        io.sbp = senseBuf;
        io.timeout = kCommandTimeoutMs;
        if (::ioctl(fd, SG_IO, &io) < 0) {
            if (errno == ENOTTY || errno == EINVAL)
                return SS_INVALID_CMD;
            fillSense(sense, kNotReady, 0);
            return SS_ERR;
        }
        if ((io.info & SG_INFO_OK_MASK) != SG_INFO_OK) {
            if (sense)
                std::memcpy(sense, senseBuf, std::min<size_t>(kSenseLen, io.sb_len_wr));
            return SS_ERR;
        }
        return SS_COMP;
    }

    // The table of contents through the CD-ROM driver's own requests, laid
    // out as the READ TOC reply.
    static uint8_t ReadTocIoctl(int fd, uint8_t *buffer, uint32_t length, uint8_t *sense)
    {
        cdrom_tochdr hdr{};
        if (::ioctl(fd, CDROMREADTOCHDR, &hdr) < 0 || hdr.cdth_trk0 < 1 || hdr.cdth_trk1 < hdr.cdth_trk0 ||
            hdr.cdth_trk1 > 99) {
            fillSense(sense, kNotReady, kMediumNotPresent);
            return SS_ERR;
        }
        std::vector<uint8_t> reply(4, 0);
        auto add = [&](unsigned track) {
            cdrom_tocentry e{};
            e.cdte_track = uint8_t(track);
            e.cdte_format = CDROM_MSF;
            if (::ioctl(fd, CDROMREADTOCENTRY, &e) < 0)
                return false;
            const uint8_t d[8] = {0, uint8_t((e.cdte_adr << 4) | (e.cdte_ctrl & 0x0F)), uint8_t(track), 0, 0,
                                  e.cdte_addr.msf.minute, e.cdte_addr.msf.second, e.cdte_addr.msf.frame};
            reply.insert(reply.end(), d, d + 8);
            return true;
        };
        for (unsigned t = hdr.cdth_trk0; t <= hdr.cdth_trk1; ++t)
            if (!add(t)) {
                fillSense(sense, kNotReady, 0x57);
                return SS_ERR;
            }
        if (!add(CDROM_LEADOUT)) {
            fillSense(sense, kNotReady, 0x57);
            return SS_ERR;
        }
        const size_t dataLength = reply.size() - 2;
        reply[0] = uint8_t(dataLength >> 8);
        reply[1] = uint8_t(dataLength);
        reply[2] = hdr.cdth_trk0;
        reply[3] = hdr.cdth_trk1;
        std::memcpy(buffer, reply.data(), std::min<size_t>(reply.size(), length));
        return SS_COMP;
    }

    std::string devFolder_;
    std::vector<Device> devices_;
};

// ---- the binding ------------------------------------------------------------------------------

std::mutex bindingMutex;
std::unique_ptr<Backend> bound;

Backend &backend()
{
    std::lock_guard<std::mutex> lock(bindingMutex);
    if (!bound)
        bound = MakeDefaultBackend();
    return *bound;
}

uint8_t adapterCount(const Backend &b)
{
    int n = 0;
    for (const Device &d : b.Devices())
        n = std::max(n, d.adapter + 1);
    return uint8_t(n);
}

const Device *findDevice(const Backend &b, uint8_t adapter, uint8_t target, uint8_t lun)
{
    for (const Device &d : b.Devices())
        if (d.adapter == adapter && d.target == target && d.lun == lun)
            return &d;
    return nullptr;
}

uint8_t execScsi(Backend &b, SRB_ExecSCSICmd &srb)
{
    const Device *device = findDevice(b, srb.h.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
    if (!device)
        return SS_NO_DEVICE;
    if (srb.SRB_BufLen > 0 && !srb.SRB_BufPointer)
        return SS_INVALID_SRB;
    uint8_t *sense = srb.SRB_SenseLen >= kSenseLen ? srb.SenseArea : nullptr;
    const uint8_t *cdb = srb.CDBByte;
    switch (cdb[0]) {
    case 0x12: {  // INQUIRY
        if (srb.SRB_CDBLen < 6)
            return SS_INVALID_SRB;
        const std::vector<uint8_t> data = InquiryData(*device);
        const size_t n = std::min<size_t>({data.size(), srb.SRB_BufLen, cdb[4]});
        std::memcpy(srb.SRB_BufPointer, data.data(), n);
        return SS_COMP;
    }
    case 0x43:  // READ TOC
        if (srb.SRB_CDBLen < 10)
            return SS_INVALID_SRB;
        return b.ReadTOC(*device, cdb, srb.SRB_BufPointer,
                         std::min<uint32_t>(srb.SRB_BufLen, (uint32_t(cdb[7]) << 8) | cdb[8]), sense, &srb);
    default:
        fillSense(sense, kIllegalRequest, kInvalidOpcode);
        return SS_ERR;
    }
}

} // namespace

std::unique_ptr<Backend> MakeSimulatedBackend(const std::string &folder)
{
    return std::make_unique<SimulatedBackend>(folder);
}

std::unique_ptr<Backend> MakeLinuxBackend(const std::string &sysClassScsiDevice, const std::string &devFolder)
{
    return std::make_unique<LinuxBackend>(sysClassScsiDevice, devFolder);
}

std::unique_ptr<Backend> MakeDefaultBackend()
{
    const char *sim = std::getenv("MIXDECK_CDROM_SIM");
    if (sim && *sim)
        return MakeSimulatedBackend(sim);
    return MakeLinuxBackend();
}

void Bind() { backend(); }

void Bind(std::unique_ptr<Backend> b)
{
    std::lock_guard<std::mutex> lock(bindingMutex);
    bound = std::move(b);
}

void Release()
{
    std::lock_guard<std::mutex> lock(bindingMutex);
    bound.reset();
}

bool Loaded()
{
    backend();
    return true;
}

std::string DeviceNode(uint8_t adapter, uint8_t target, uint8_t lun)
{
    const Device *d = findDevice(backend(), adapter, target, lun);
    return d ? d->node : std::string();
}

uint32_t GetASPI32SupportInfo()
{
    const uint8_t n = adapterCount(backend());
    return (uint32_t(n ? SS_COMP : SS_NO_ADAPTERS) << 8) | n;
}

uint8_t SendASPI32Command(void *block)
{
    if (!block)
        return SS_INVALID_SRB;
    Backend &b = backend();
    auto *h = static_cast<SRB_Header *>(block);
    switch (h->SRB_Cmd) {
    case SC_HA_INQUIRY: {
        auto &srb = *static_cast<SRB_HAInquiry *>(block);
        const uint8_t n = adapterCount(b);
        srb.HA_Count = n;
        if (srb.h.SRB_HaId >= n)
            return srb.h.SRB_Status = SS_INVALID_HA;
        std::memcpy(srb.HA_ManagerId, "ASPI for WIN32  ", 16);
        std::memcpy(srb.HA_Identifier, "MIXDECK         ", 16);
        int targets = 0;
        for (const Device &d : b.Devices())
            if (d.adapter == srb.h.SRB_HaId)
                targets = std::max(targets, d.target + 1);
        std::memset(srb.HA_Unique, 0, sizeof srb.HA_Unique);
        srb.HA_Unique[3] = uint8_t(std::min(targets, 255));
        srb.HA_SCSI_ID = 7;
        return srb.h.SRB_Status = SS_COMP;
    }
    case SC_GET_DEV_TYPE: {
        auto &srb = *static_cast<SRB_GDEVBlock *>(block);
        const Device *d = findDevice(b, srb.h.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
        if (!d)
            return srb.h.SRB_Status = SS_NO_DEVICE;
        srb.SRB_DeviceType = d->type;
        return srb.h.SRB_Status = SS_COMP;
    }
    case SC_EXEC_SCSI_CMD: {
        auto &srb = *static_cast<SRB_ExecSCSICmd *>(block);
        srb.h.SRB_Status = SS_PENDING;
        const uint8_t status = execScsi(b, srb);
        if (status == SS_PENDING)
            return SS_PENDING;  // the backend completes it and signals the event
        srb.h.SRB_Status = status;
        if ((srb.h.SRB_Flags & SRB_EVENT_NOTIFY) && srb.SRB_PostProc)
            srb.SRB_PostProc->Set();
        return status;
    }
    case SC_ABORT_SRB: {
        auto &srb = *static_cast<SRB_Abort *>(block);
        if (srb.SRB_ToAbort)
            b.Abort(srb.SRB_ToAbort);
        return srb.h.SRB_Status = SS_COMP;
    }
    default:
        return h->SRB_Status = SS_INVALID_CMD;
    }
}

} // namespace aspi
