// The component layer: what an in-process control library and its host share. Values travel as
// Variants; the host calls members by dispatch identifier (late binding) and gets the control's
// events back by their identifiers through a sink; the control keeps its saved values in a
// property bag and asks its container for the ambient user mode and to save changed values.
// A library exports four entry points (register, unregister, get the class object, can unload);
// registration records the class identity and the library's path in the registry store, and
// createControl opens the library by that identity with dlopen.
//
// Errors cross the boundary as platform::VbError with the control's number, source and
// description.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace forms {
class Form;
class Control;
}  // namespace forms

namespace platform::com {

using DispId = std::int32_t;
using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
inline constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);
// A run-time error n of a control, as the host's runtime sees it: 0x800A0000 + n.
inline constexpr HRESULT hresultOfError(int number) {
    return static_cast<HRESULT>(0x800A0000u + static_cast<std::uint32_t>(number & 0xFFFF));
}

// ---- Variant ---------------------------------------------------------------------------------

enum class VarType { Empty, Bool, Int16, Int32, Float, Double, String, Int32Array, Int16ArrayRef, FloatArrayRef, StringArrayRef };

// One value of any type a member takes or returns. The by-reference arrays point at an array of
// the host, which a member may resize and fill (the host keeps it alive during the call).
class Variant {
public:
    Variant() = default;
    Variant(bool v) : v_(v) {}
    Variant(std::int16_t v) : v_(v) {}
    Variant(std::int32_t v) : v_(v) {}
    Variant(float v) : v_(v) {}
    Variant(double v) : v_(v) {}
    Variant(std::string v) : v_(std::move(v)) {}
    Variant(const char* v) : v_(std::string(v)) {}
    Variant(std::vector<std::int32_t> v) : v_(std::move(v)) {}
    static Variant byRef(std::vector<std::int16_t>& a) { return Variant(Ref16{&a}); }
    static Variant byRef(std::vector<float>& a) { return Variant(RefF{&a}); }
    static Variant byRef(std::vector<std::string>& a) { return Variant(RefS{&a}); }

    VarType type() const { return static_cast<VarType>(v_.index()); }
    bool isEmpty() const { return type() == VarType::Empty; }
    bool isNumeric() const;  // Bool, integers, floats
    bool isArray() const { return type() >= VarType::Int32Array; }
    // The name of the type as the runtime's TypeName gives it ("Long", "Single", "String" ...).
    std::string typeName() const;

    // Conversions as a typed parameter receives the value: numbers are rounded half to even,
    // a value beyond the type raises 6, text that is no number and arrays raise 13.
    bool toBool() const;
    std::int16_t toInt16() const;
    std::int32_t toInt32() const;
    float toFloat() const;
    double toDouble() const;
    std::string toString() const;
    // The arrays (13 when the Variant holds another type).
    const std::vector<std::int32_t>& int32Array() const;
    std::vector<std::int16_t>& int16Ref() const;
    std::vector<float>& floatRef() const;
    std::vector<std::string>& stringRef() const;

    // Same value: numbers compare by value whatever their width, text by its bytes, a
    // by-reference array by the array it points at, an array by value by its contents.
    bool operator==(const Variant& other) const;

    // Text for storing: a type tag, ':' and the value ("I4:50000", "R4:3", "S:name").
    std::string serialize() const;
    // Back from serialize(); anything unreadable gives an Empty Variant.
    static Variant deserialize(std::string_view text);

private:
    struct Ref16 { std::vector<std::int16_t>* p; };
    struct RefF { std::vector<float>* p; };
    struct RefS { std::vector<std::string>* p; };
    explicit Variant(Ref16 r) : v_(r) {}
    explicit Variant(RefF r) : v_(r) {}
    explicit Variant(RefS r) : v_(r) {}
    std::variant<std::monostate, bool, std::int16_t, std::int32_t, float, double, std::string,
                 std::vector<std::int32_t>, Ref16, RefF, RefS>
        v_;
};

// ---- Late binding ----------------------------------------------------------------------------

enum class InvokeKind { Method = 1, PropertyGet = 2, PropertyPut = 4 };

// A member a Dispatch object offers, for name lookup and argument checks.
struct MemberInfo {
    DispId id;
    std::string name;
    bool method;        // called as a method
    bool get;           // readable property
    bool put;           // writable property
    int required;       // arguments that must be given (without the value of a put)
    int optional;       // arguments that may follow them
};

class Dispatch {
public:
    virtual ~Dispatch() = default;
    // Calls a member. For a put the new value is the last argument. Raises VbError: 438 for an
    // unknown member or a kind the member lacks, 450 for a wrong number of arguments, 13 for an
    // argument of the wrong type, and whatever the member itself raises.
    virtual Variant invoke(DispId id, InvokeKind kind, std::vector<Variant>& args) = 0;
    virtual const std::vector<MemberInfo>& members() const = 0;

    // The identifier of a member by its name, ignoring case (GetIDsOfNames).
    std::optional<DispId> idOfName(std::string_view name) const;
    // Short forms.
    Variant call(DispId id, std::vector<Variant> args = {});
    Variant get(DispId id, std::vector<Variant> args = {});
    void put(DispId id, Variant value);
    Variant callByName(std::string_view name, InvokeKind kind, std::vector<Variant> args = {});
};

// Checks args against a member table entry for the kind asked: 438 or 450 as invoke describes.
const MemberInfo& checkCall(const std::vector<MemberInfo>& members, DispId id, InvokeKind kind,
                            const std::vector<Variant>& args);

// ---- Events ----------------------------------------------------------------------------------

// Where a control raises its events: synchronously, the host's handler runs before it returns.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void event(DispId id, std::vector<Variant>& args) = 0;
};

// A sink made of one handler per event identifier; events without a handler are ignored.
class EventHandlers : public EventSink {
public:
    using Handler = std::function<void(std::vector<Variant>& args)>;
    void on(DispId id, Handler handler) { handlers_[id] = std::move(handler); }
    void event(DispId id, std::vector<Variant>& args) override;

private:
    std::map<DispId, Handler> handlers_;
};

// ---- Property bags ---------------------------------------------------------------------------

// The values a control saves with its host's window. Names are matched ignoring case.
class PropertyBag {
public:
    virtual ~PropertyBag() = default;
    // The saved value, or def when the name was not saved.
    virtual Variant ReadProperty(const std::string& name, const Variant& def) = 0;
    // Saves value; a value equal to def is not saved (a later read gives the default).
    virtual void WriteProperty(const std::string& name, const Variant& value, const Variant& def) = 0;
};

class MemoryPropertyBag : public PropertyBag {
public:
    Variant ReadProperty(const std::string& name, const Variant& def) override;
    void WriteProperty(const std::string& name, const Variant& value, const Variant& def) override;
    bool contains(const std::string& name) const;
    // The saved names in the order they were first written.
    std::vector<std::string> names() const;
    void clear();

private:
    std::vector<std::pair<std::string, Variant>> values_;
};

// A host's saved instance in the per-user settings store: section `section` of application
// `app`, one value per property plus the list of saved names. beginSave() forgets what was saved
// before; each WriteProperty is stored at once.
class StoredPropertyBag : public PropertyBag {
public:
    StoredPropertyBag(std::string app, std::string section);
    Variant ReadProperty(const std::string& name, const Variant& def) override;
    void WriteProperty(const std::string& name, const Variant& value, const Variant& def) override;
    void beginSave();
    // Whether anything was ever saved there.
    bool exists() const;

private:
    std::vector<std::string> savedNames() const;
    std::string app_, section_;
};

// ---- The container ---------------------------------------------------------------------------

// What the container offers the control: its ambient user mode (False while the host is being
// designed) and the report that a property changed and should be saved.
class Site {
public:
    virtual ~Site() = default;
    virtual bool userMode() const = 0;
    virtual void propertyChanged(const std::string& name) = 0;
};

// A site with a settable mode that records the reported names.
class SimpleSite : public Site {
public:
    explicit SimpleSite(bool userMode = true) : userMode_(userMode) {}
    bool userMode() const override { return userMode_; }
    void setUserMode(bool on) { userMode_ = on; }
    void propertyChanged(const std::string& name) override { changed.push_back(name); }
    std::vector<std::string> changed;

private:
    bool userMode_;
};

// ---- Controls and their libraries ------------------------------------------------------------

// A control as its container holds it: its members by dispatch, its events to a sink, its
// property bag life cycle, and the control placed on the host's form.
class ControlObject : public Dispatch {
public:
    // Where events go (nullptr: nowhere).
    virtual void advise(EventSink* sink) = 0;
    // A new instance (InitProperties) or a saved one (ReadProperties).
    virtual void initProperties() = 0;
    virtual void readProperties(PropertyBag& bag) = 0;
    // The container saves the instance (WriteProperties).
    virtual void writeProperties(PropertyBag& bag) = 0;
    // The control as placed on the host's form (extender: Left, Top, Width, Height, Visible).
    virtual forms::Control& extender() = 0;
};

struct CreateParams {
    forms::Form* hostForm = nullptr;
    std::string name;                       // the instance name on the host ("Vorix1")
    forms::Control* container = nullptr;    // a frame or picture box of the host, or none
    Site* site = nullptr;                   // none: user mode, changes reported nowhere
};

class ClassFactory {
public:
    virtual ~ClassFactory() = default;
    // Raises VbError when the control cannot be made.
    virtual std::unique_ptr<ControlObject> createInstance(const CreateParams& params) = 0;
    // Keeps the library loaded while locked.
    virtual void lockServer(bool lock) = 0;
};

// The entry points a control library exports (extern "C").
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();
using DllGetClassObjectFn = HRESULT (*)(const char* classId, ClassFactory** factory);
using DllCanUnloadNowFn = HRESULT (*)();

// For the library's side: live objects and locks, which DllCanUnloadNow reports.
class ModuleUsage {
public:
    void objectCreated() { ++objects_; }
    void objectDestroyed() { --objects_; }
    void lock(bool on) { on ? ++locks_ : --locks_; }
    bool canUnload() const { return objects_.load() <= 0 && locks_.load() <= 0; }
    int objects() const { return objects_.load(); }

private:
    std::atomic<int> objects_{0};
    std::atomic<int> locks_{0};
};

// Registry keys of a class identity: "HKEY_CLASSES_ROOT\<progId>\" holds the identity itself,
// "HKEY_CLASSES_ROOT\<progId>\InprocServer32\" the library's path.
std::string classKey(const std::string& progId);
std::string inprocServerKey(const std::string& progId);
// What DllRegisterServer/DllUnregisterServer of a library do (unregistering empties the path).
HRESULT registerClass(const std::string& progId, const std::string& libraryPath);
HRESULT unregisterClass(const std::string& progId);
// The path of the registered library, empty when the class is not registered.
std::string registeredLibrary(const std::string& progId);
// The path of the shared object that contains address (for a library finding itself).
std::string modulePathOf(const void* address);

// Creates a registered control on the host form: finds the library's path, opens it (dlopen),
// asks DllGetClassObject for the class object, creates the control, then gives it its saved
// values (saved, ReadProperties) or its defaults (InitProperties). A class that is not
// registered, a library that cannot be opened or that lacks the entry point raise 429; the
// reason is in lastCreateError().
std::unique_ptr<ControlObject> createControl(const std::string& progId, forms::Form* hostForm,
                                             const std::string& name, Site* site = nullptr,
                                             PropertyBag* saved = nullptr, forms::Control* container = nullptr);
std::string lastCreateError();

// Opens a library and calls one of its entry points; dlopen failures and a missing entry point
// give an HRESULT of E_FAIL and the reason in lastCreateError().
HRESULT callRegistrationEntry(const std::string& libraryPath, bool unregister);

// Calls DllCanUnloadNow of every library opened by createControl and closes those that agree.
// Returns how many were closed.
int freeUnusedLibraries();

}  // namespace platform::com
