#include "platform/OleAuto.h"

#include "platform/OfficeServers.h"
#include "platform/Rtl.h"

#include <cmath>
#include <map>
#include <mutex>
#include <set>

namespace ole {

// ---- OleVariant -------------------------------------------------------------------------

OleVariant::OleVariant(bool v) : type_(VarType::Bool), bool_(v) {}
OleVariant::OleVariant(int v) : type_(VarType::Int), int_(v) {}
OleVariant::OleVariant(int64_t v) : type_(VarType::Int), int_(v) {}
OleVariant::OleVariant(double v) : type_(VarType::Double), double_(v) {}
OleVariant::OleVariant(std::string v) : type_(VarType::String), str_(std::move(v)) {}
OleVariant::OleVariant(const char *v) : type_(VarType::String), str_(v ? v : "") {}
OleVariant::OleVariant(DispatchPtr v) : type_(v ? VarType::Dispatch : VarType::Empty), disp_(std::move(v)) {}

OleVariant OleVariant::Null()
{
    OleVariant v;
    v.type_ = VarType::Null;
    return v;
}

OleVariant OleVariant::Error(int32_t code)
{
    OleVariant v;
    v.type_ = VarType::Error;
    v.int_ = code;
    return v;
}

OleVariant OleVariant::Array2D(int rowLow, int rows, int colLow, int cols)
{
    OleVariant v;
    v.type_ = VarType::Array;
    v.rowLow_ = rowLow;
    v.rows_ = rows < 0 ? 0 : rows;
    v.colLow_ = colLow;
    v.cols_ = cols < 0 ? 0 : cols;
    v.elems_.resize(size_t(v.rows_) * size_t(v.cols_));
    return v;
}

namespace {
[[noreturn]] void cannotConvert() { throw EOleError("Could not convert variant"); }
}

bool OleVariant::AsBool() const
{
    switch (type_) {
    case VarType::Empty: return false;
    case VarType::Bool: return bool_;
    case VarType::Int: return int_ != 0;
    case VarType::Double: return double_ != 0;
    case VarType::String:
        if (Rtl::SameText(str_, "true")) return true;
        if (Rtl::SameText(str_, "false")) return false;
        {
            int64_t n;
            if (Rtl::TryStrToInt64(str_, n)) return n != 0;
        }
        cannotConvert();
    default: cannotConvert();
    }
}

int32_t OleVariant::AsInt() const
{
    switch (type_) {
    case VarType::Empty: return 0;
    case VarType::Bool: return bool_ ? -1 : 0;
    case VarType::Int:
        if (int_ < INT32_MIN || int_ > INT32_MAX) cannotConvert();
        return int32_t(int_);
    case VarType::Double:
        if (!std::isfinite(double_) || double_ < INT32_MIN || double_ > INT32_MAX) cannotConvert();
        return int32_t(std::nearbyint(double_));
    case VarType::String: {
        int v;
        if (Rtl::TryStrToInt(Rtl::Trim(str_), v)) return v;
        cannotConvert();
    }
    default: cannotConvert();
    }
}

double OleVariant::AsDouble() const
{
    switch (type_) {
    case VarType::Empty: return 0;
    case VarType::Bool: return bool_ ? -1 : 0;
    case VarType::Int: return double(int_);
    case VarType::Double: return double_;
    case VarType::String: {
        const std::string t = Rtl::Trim(str_);
        if (t.empty()) cannotConvert();
        char *end = nullptr;
        double d = std::strtod(t.c_str(), &end);
        if (!end || *end != '\0') cannotConvert();
        return d;
    }
    default: cannotConvert();
    }
}

std::string OleVariant::AsString() const
{
    switch (type_) {
    case VarType::Empty:
    case VarType::Null: return std::string();
    case VarType::Bool: return bool_ ? "True" : "False";
    case VarType::Int: return Rtl::IntToStr(int_);
    case VarType::Double: return Rtl::FloatToStr(double_);
    case VarType::String: return str_;
    default: cannotConvert();
    }
}

DispatchPtr OleVariant::AsDispatch() const
{
    if (type_ != VarType::Dispatch) throw EOleError("Variant does not reference an automation object");
    return disp_;
}

int OleVariant::LowBound(int dim) const
{
    if (type_ != VarType::Array || (dim != 1 && dim != 2)) throw EOleError("Variant array bounds error");
    return dim == 1 ? rowLow_ : colLow_;
}

int OleVariant::HighBound(int dim) const
{
    if (type_ != VarType::Array || (dim != 1 && dim != 2)) throw EOleError("Variant array bounds error");
    return dim == 1 ? rowLow_ + rows_ - 1 : colLow_ + cols_ - 1;
}

OleVariant &OleVariant::At(int row, int col)
{
    return const_cast<OleVariant &>(static_cast<const OleVariant &>(*this).At(row, col));
}

const OleVariant &OleVariant::At(int row, int col) const
{
    if (type_ != VarType::Array) throw EOleError("Variant is not an array");
    const int64_t r = int64_t(row) - rowLow_, c = int64_t(col) - colLow_;
    if (r < 0 || r >= rows_ || c < 0 || c >= cols_) throw EOleError("Variant array index out of bounds");
    return elems_[size_t(r) * size_t(cols_) + size_t(c)];
}

namespace {
OleVariant invoke(const OleVariant &target, const std::string &member, InvokeKind kind, std::vector<OleArg> args,
                  const OleVariant *value)
{
    DispatchPtr d = target.AsDispatch();
    OleCall call;
    call.Member = member;
    call.Kind = kind;
    call.Args = std::move(args);
    if (value) call.Value = *value;
    return d->Invoke(call);
}
} // namespace

OleVariant OleVariant::Call(const std::string &member) const { return Call(member, {}); }

OleVariant OleVariant::Get(const std::string &member) const { return Get(member, {}); }

void OleVariant::Put(const std::string &member, const OleVariant &value) const { Put(member, value, {}); }

OleVariant OleVariant::Call(const std::string &member, std::vector<OleArg> args) const
{
    return invoke(*this, member, InvokeKind::Method, std::move(args), nullptr);
}

OleVariant OleVariant::Get(const std::string &member, std::vector<OleArg> args) const
{
    return invoke(*this, member, InvokeKind::PropertyGet, std::move(args), nullptr);
}

void OleVariant::Put(const std::string &member, const OleVariant &value, std::vector<OleArg> args) const
{
    invoke(*this, member, InvokeKind::PropertyPut, std::move(args), &value);
}

// ---- calls ----------------------------------------------------------------------------------

const OleVariant *OleCall::Arg(size_t position, const std::string &name) const
{
    for (const OleArg &a : Args)
        if (!a.Name.empty() && Rtl::SameText(a.Name, name)) return &a.Value;
    size_t pos = 0;
    for (const OleArg &a : Args) {
        if (!a.Name.empty()) continue;
        if (pos == position) return &a.Value;
        ++pos;
    }
    return nullptr;
}

bool OleCall::Is(const char *member) const { return Rtl::SameText(Member, member); }

std::string FormatValue(const OleVariant &v)
{
    switch (v.Type()) {
    case VarType::Empty: return "Empty";
    case VarType::Null: return "Null";
    case VarType::Bool: return v.AsBool() ? "True" : "False";
    case VarType::Int: return v.AsString();
    case VarType::Double: return v.AsString();
    case VarType::String: return std::string(1, '"').append(v.AsString()).append(1, '"');
    case VarType::Dispatch: return std::string(1, '<').append(v.AsDispatch()->TypeName()).append(1, '>');
    case VarType::Error: return std::string("Error(").append(Rtl::IntToStr(v.ErrorCode())).append(1, ')');
    case VarType::Array:
        return "Array[" + Rtl::IntToStr(v.LowBound(1)) + ".." + Rtl::IntToStr(v.HighBound(1)) + ", " +
               Rtl::IntToStr(v.LowBound(2)) + ".." + Rtl::IntToStr(v.HighBound(2)) + "]";
    }
    return std::string();
}

std::string FormatCall(const OleCall &call)
{
    std::string s;
    if (call.Kind == InvokeKind::PropertyGet) s = "get ";
    else if (call.Kind == InvokeKind::PropertyPut) s = "put ";
    s += call.Member;
    if (call.Kind != InvokeKind::PropertyPut || !call.Args.empty()) {
        s += "(";
        for (size_t i = 0; i < call.Args.size(); ++i) {
            const OleArg &a = call.Args[i];
            if (i) s += ", ";
            if (!a.Name.empty()) s += a.Name + ":=";
            if (a.ByRef) s += "byref ";
            s += FormatValue(a.Value);
        }
        s += ")";
    }
    if (call.Kind == InvokeKind::PropertyPut) s += " := " + FormatValue(call.Value);
    return s;
}

void IDispatchObject::Unsupported(const OleCall &call)
{
    throw EOleError("Method '" + call.Member + "' not supported by automation object");
}

// ---- registry -----------------------------------------------------------------------------------

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, OleServerFactory> servers;  // by lower-case identifier
    std::set<std::string> unavailable;
};

OleServerFactory builtIn(const std::string &key)
{
    if (key == "word.application") return [] { return NewWordApplication(); };
    if (key == "excel.application") return [] { return NewExcelApplication(); };
    return OleServerFactory();
}

Registry &registry()
{
    static Registry r;
    static std::once_flag once;
    std::call_once(once, [] {
        for (const char *id : {"word.application", "excel.application"}) r.servers[id] = builtIn(id);
    });
    return r;
}

std::string key(const std::string &progId) { return Rtl::LowerCase(Rtl::Trim(progId)); }

} // namespace

void RegisterOleServer(const std::string &progId, OleServerFactory factory)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    r.servers[key(progId)] = std::move(factory);
}

void ResetOleServer(const std::string &progId)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    const std::string k = key(progId);
    OleServerFactory f = builtIn(k);
    if (f) r.servers[k] = std::move(f);
    else r.servers.erase(k);
    r.unavailable.erase(k);
}

OleServerFactory OleServer(const std::string &progId)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.servers.find(key(progId));
    return it == r.servers.end() ? OleServerFactory() : it->second;
}

void SetOleServerAvailable(const std::string &progId, bool available)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    if (available) r.unavailable.erase(key(progId));
    else r.unavailable.insert(key(progId));
}

OleVariant CreateOleObject(const std::string &progId)
{
    OleServerFactory f;
    {
        Registry &r = registry();
        std::lock_guard<std::mutex> g(r.lock);
        const std::string k = key(progId);
        auto it = r.servers.find(k);
        if (it != r.servers.end() && !r.unavailable.count(k)) f = it->second;
    }
    if (!f) throw EOleSysError("Invalid class string");
    DispatchPtr d = f();
    if (!d) throw EOleSysError("Invalid class string");
    return OleVariant(d);
}

// ---- recording ------------------------------------------------------------------------------------

namespace {

class Recorder : public IDispatchObject {
public:
    Recorder(DispatchPtr inner, std::shared_ptr<std::vector<std::string>> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}
    std::string TypeName() const override { return inner_->TypeName(); }
    OleVariant Invoke(const OleCall &call) override
    {
        log_->push_back(FormatCall(call));
        OleCall forwarded = call;
        for (OleArg &a : forwarded.Args) a.Value = unwrap(a.Value);
        forwarded.Value = unwrap(forwarded.Value);
        OleVariant result = inner_->Invoke(forwarded);
        if (result.IsDispatch()) return OleVariant(DispatchPtr(std::make_shared<Recorder>(result.AsDispatch(), log_)));
        return result;
    }
    static OleVariant unwrap(const OleVariant &v)
    {
        if (!v.IsDispatch()) return v;
        if (auto *r = dynamic_cast<Recorder *>(v.AsDispatch().get())) return OleVariant(r->inner_);
        return v;
    }

private:
    DispatchPtr inner_;
    std::shared_ptr<std::vector<std::string>> log_;
};

} // namespace

DispatchPtr RecordCalls(DispatchPtr inner, std::shared_ptr<std::vector<std::string>> log)
{
    return std::make_shared<Recorder>(std::move(inner), std::move(log));
}

} // namespace ole
