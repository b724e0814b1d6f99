// Whole mail messages through the message decoder (headers, boundaries and
// the part decoders it switches to), and the quoted-printable decoder alone;
// quoted-printable coding must read back to its input.
#include "netclient/NetCoderIMF.h"
#include "netclient/NetCoderText.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string codeAll(TNetCoder &c, const std::string &text)
{
    std::string out;
    c.DeliverByEvent = true;
    c.OnCodedOutput = [&](TNetCoder *, const std::string &t) { out += t; };
    c.OnCodedNotification = [](TNetCoder *, int, const std::string &) {};
    c.CompleteOnCode = true;
    c.CodeString(text);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    for (const int block : {4096, 3}) {
        TNetIMFDecoder imf;
        imf.SetBlockSize(block);
        try {
            codeAll(imf, text);
        } catch (const ENetException &) {
        }
    }
    TNetQuotedPrintableDecoder qp;
    codeAll(qp, text);
    TNetQuotedPrintableEncoder enc;
    enc.SetBlockSize(int(size % 61) + 1);
    TNetQuotedPrintableDecoder back;
    if (codeAll(back, codeAll(enc, text)) != text)
        std::abort();
    return 0;
}
