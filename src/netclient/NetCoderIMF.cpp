#include "netclient/NetCoderIMF.h"

#include "platform/Rtl.h"

#include <cstring>

namespace {

constexpr size_t kMaxHeaderLine = 64 * 1024;  // longer header text is passed on unexamined
constexpr int kMaxDepth = 4;                  // message decoders inside message decoders

bool startsWithText(const std::string &s, const char *prefix)
{
    const size_t n = std::strlen(prefix);
    return s.size() >= n && Rtl::SameText(s.substr(0, n), prefix);
}

size_t findText(const std::string &s, const char *key)
{
    return Rtl::UpperCase(s).find(Rtl::UpperCase(key));
}

std::string afterColon(const std::string &line)
{
    const size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : Rtl::Trim(line.substr(colon + 1));
}

// A parameter value: quoted, up to the closing quote; otherwise up to ";" or white space.
std::string parameterValue(const std::string &rest)
{
    if (!rest.empty() && rest[0] == '"') {
        const size_t close = rest.find('"', 1);
        return rest.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return rest.substr(0, rest.find_first_of("; \t"));
}

} // namespace

TNetIMFDecoder::TNetIMFDecoder()
{
    CreateInnerDecoder();
}

TNetIMFDecoder::~TNetIMFDecoder() = default;

void TNetIMFDecoder::CreateInnerDecoder()
{
    contentType_.clear();
    transferEncoding_.clear();
    lastType_.clear();
    lastEncoding_ = "7bit";
    inner_ = CoderFor("", lastEncoding_, ckDecoder)->Create();
    inner_->DeliverByEvent = true;
    inner_->OnCodedOutput = [this](TNetCoder *, const std::string &text) { OutputString(text); };
    inner_->OnCodedNotification = [this](TNetCoder *, int value, const std::string &text) {
        OutputNotification(value, text);
    };
}

void TNetIMFDecoder::SwitchInnerDecoder()
{
    // MIME's default transfer encoding is 7bit.
    const std::string encoding = transferEncoding_.empty() ? std::string("7bit") : transferEncoding_;
    if (Rtl::SameText(contentType_, lastType_) && Rtl::SameText(encoding, lastEncoding_))
        return;
    std::unique_ptr<TNetCoder> coder = CoderFor(contentType_, encoding, ckDecoder)->Create();
    if (auto *nested = dynamic_cast<TNetIMFDecoder *>(coder.get())) {
        if (depth_ >= kMaxDepth)
            coder = std::make_unique<TNetCoder>();
        else
            nested->depth_ = depth_ + 1;
    }
    coder->DeliverByEvent = true;
    coder->OnCodedOutput = std::move(inner_->OnCodedOutput);
    coder->OnCodedNotification = std::move(inner_->OnCodedNotification);
    inner_ = std::move(coder);
    lastType_ = contentType_;
    lastEncoding_ = encoding;
}

void TNetIMFDecoder::Reset()
{
    TNetCoder::Reset();
    state_ = St::Header;
    work_.clear();
    messageType_.clear();
    messageEncoding_ = "8bit";
    firstBlockDone_ = false;
    headerLine_.clear();
    haveHeaderLine_ = false;
    raw_.clear();
    boundaryLine_.clear();
    boundaries_.Clear();
    CreateInnerDecoder();
}

void TNetIMFDecoder::CodeBlock()
{
    work_.append(buffer_, 0, count_);
    count_ = 0;
    run(false);
}

void TNetIMFDecoder::CodeRemainder()
{
    completed_ = true;
    work_.append(buffer_, 0, count_);
    count_ = 0;
    run(true);
    inner_->CompletedInput();
    OutputNotification(imfInputEnd, "");
}

void TNetIMFDecoder::run(bool last)
{
    for (;;) {
        const St before = state_;
        const size_t size = work_.size();
        switch (state_) {
        case St::Header: ProcessHeaderBlock(last); break;
        case St::Body: ProcessBody(last); break;
        case St::AfterBoundary: ProcessAfterBoundary(last); break;
        }
        if (state_ == before && work_.size() == size)
            return;
    }
}

void TNetIMFDecoder::flushRaw()
{
    if (!raw_.empty())
        OutputString(std::move(raw_));
    raw_.clear();
}

void TNetIMFDecoder::passToInner(const std::string &text)
{
    if (!text.empty())
        inner_->CodeString(text);
}

void TNetIMFDecoder::ProcessHeaderBlock(bool last)
{
    for (;;) {
        size_t end = work_.find_first_of("\r\n");
        size_t term = 1;
        if (end == std::string::npos) {
            if (work_.size() > kMaxHeaderLine) {
                end = work_.size();
                term = 0;
            } else {
                if (last) {  // an unfinished last line is passed on as it stands
                    if (haveHeaderLine_)
                        ProcessHeaderLine();
                    raw_ += work_;
                    work_.clear();
                    flushRaw();
                }
                return;
            }
        } else if (work_[end] == '\r') {
            if (end + 1 == work_.size() && !last)
                return;  // its LF may still come
            if (end + 1 < work_.size() && work_[end + 1] == '\n')
                term = 2;
        }
        std::string line = work_.substr(0, end);
        std::string rawLine = work_.substr(0, end + term);
        work_.erase(0, end + term);
        if (line.empty()) {
            if (haveHeaderLine_)
                ProcessHeaderLine();
            raw_ += "\r\n";
            flushRaw();
            OutputNotification(imfHeaderEnd, "");
            firstBlockDone_ = true;
            SwitchInnerDecoder();
            state_ = St::Body;
            return;
        }
        if ((line[0] == ' ' || line[0] == '\t') && haveHeaderLine_) {
            const size_t first = line.find_first_not_of(" \t");
            if (first != std::string::npos && headerLine_.size() < kMaxHeaderLine) {
                if (!headerLine_.empty() && headerLine_.back() != ' ')
                    headerLine_ += ' ';
                headerLine_.append(line, first);
            }
        } else {
            if (haveHeaderLine_)
                ProcessHeaderLine();
            headerLine_ = std::move(line);
            haveHeaderLine_ = true;
        }
        raw_ += rawLine;
        if (raw_.size() > kMaxHeaderLine)
            flushRaw();
    }
}

void TNetIMFDecoder::fileName(const std::string &text, const std::string &key)
{
    const size_t at = findText(text, key.c_str());
    if (at == std::string::npos)
        return;
    CodedFileName = parameterValue(text.substr(at + key.size()));
    OutputNotification(imfFileName, CodedFileName);
}

void TNetIMFDecoder::ProcessHeaderLine()
{
    haveHeaderLine_ = false;
    const std::string line = std::move(headerLine_);
    headerLine_.clear();
    OutputNotification(imfHeaderLine, line);
    if (line.empty() || (line[0] != 'C' && line[0] != 'c')) {
        flushRaw();
    } else if (startsWithText(line, "content-transfer-encoding")) {
        transferEncoding_ = afterColon(line);
        if (!firstBlockDone_)
            messageEncoding_ = transferEncoding_;
    } else if (startsWithText(line, "content-type")) {
        contentType_ = afterColon(line);
        if (!firstBlockDone_)
            messageType_ = contentType_;
        const size_t at = findText(line, "boundary=");
        if (at != std::string::npos) {
            const std::string boundary = parameterValue(line.substr(at + 9));
            if (!boundary.empty()) {
                boundaries_.Insert(0, boundary);
                if (boundaries_.Count() > MaxBoundaries)
                    boundaries_.Delete(boundaries_.Count() - 1);
            }
        }
        fileName(line, "name=");
    } else if (startsWithText(line, "content-disposition")) {
        fileName(line, "filename=");
    } else {
        flushRaw();
    }
}

void TNetIMFDecoder::ProcessBody(bool last)
{
    if (boundaries_.Empty()) {
        passToInner(work_);
        work_.clear();
        return;
    }
    size_t best = std::string::npos, longest = 0;
    int which = -1;
    for (int i = 0; i < boundaries_.Count(); ++i) {
        const size_t at = work_.find(boundaries_[i]);
        if (at < best) {  // on a tie the newer (earlier listed) boundary wins
            best = at;
            which = i;
        }
        longest = std::max(longest, boundaries_[i].size());
    }
    if (which < 0) {
        // Hold back what could be the beginning of a boundary line cut by
        // the end of this block, so that block sizes never hide a boundary.
        const size_t hold = last ? 0 : longest + 3;
        if (work_.size() > hold) {
            passToInner(work_.substr(0, work_.size() - hold));
            work_.erase(0, work_.size() - hold);
        }
        return;
    }
    size_t cut = best;
    if (best >= 4 && work_.compare(best - 4, 4, "\r\n--") == 0)
        cut = best - 4;
    else if (best >= 2 && work_.compare(best - 2, 2, "--") == 0)
        cut = best - 2;
    passToInner(work_.substr(0, cut));
    inner_->CompletedInput();
    inner_->Reset();
    const std::string boundary = boundaries_[which];
    OutputNotification(imfBoundary, boundary);
    boundaryLine_ = work_.substr(cut, best - cut) + boundary;
    work_.erase(0, best + boundary.size());
    state_ = St::AfterBoundary;
}

void TNetIMFDecoder::ProcessAfterBoundary(bool last)
{
    if (work_.size() < 4 && !last)
        return;
    if (work_.compare(0, 2, "--") == 0)
        OutputNotification(imfClosingBoundary, "");
    size_t i = 0;
    while (i < work_.size() && work_[i] == '-')
        ++i;
    if (i < work_.size() && work_[i] == '\r')
        ++i;
    if (i < work_.size() && work_[i] == '\n')
        ++i;
    boundaryLine_.append(work_, 0, i);
    work_.erase(0, i);
    OutputString(std::move(boundaryLine_));
    boundaryLine_.clear();
    // The part's own headers follow; without them it is 7bit text.
    state_ = St::Header;
    contentType_.clear();
    transferEncoding_.clear();
}
