// Whole received mail messages into their parts: the header lines fill the
// message's fields, the body lines go through the part reader (texts,
// attachments in files of their own, nested multipart sections).
#include "netclient/NetMessageClient.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    TNetMessage msg;
    size_t at = 0;
    auto nextLine = [&](std::string &line) {
        if (at >= text.size())
            return false;
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end;
        line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        at = end + 1;
        return true;
    };
    std::string line;
    while (nextLine(line) && !line.empty())
        msg.RawHeaders.Add(line);
    msg.ProcessHeaders();
    try {
        TNetMessagePartReader reader(msg, 200);
        while (nextLine(line))
            reader.Line(line);
        reader.Finish();
    } catch (const ENetException &) {   // refused: too many parts or sections
    } catch (const EConvertError &) {   // an encoded word with a bad escape
    } catch (const EInOutError &) {     // an attachment file that cannot be written
    }
    return 0;
}
