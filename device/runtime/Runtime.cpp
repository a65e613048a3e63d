#include "runtime/Runtime.h"

#include <atomic>

#include "runtime/Process.h"
#include "runtime/UnrecognizedSelector.h"

// ---- Value ----

bool Value::isNil() const {
    if (std::holds_alternative<std::monostate>(v_)) return true;
    if (auto* o = std::get_if<id>(&v_)) return *o == nullptr;
    return false;
}

bool Value::boolValue() const {
    return std::visit(
        [](const auto& x) -> bool {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) return false;
            else if constexpr (std::is_same_v<T, id>) return x != nullptr;
            else return x != 0;
        },
        v_);
}

int64_t Value::intValue() const {
    return std::visit(
        [](const auto& x) -> int64_t {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate> || std::is_same_v<T, id>) return 0;
            else if constexpr (std::is_same_v<T, double>) {
                // Out-of-range doubles saturate instead of being undefined.
                if (!(x == x)) return 0;
                if (x >= 9.2233720368547758e18) return INT64_MAX;
                if (x <= -9.2233720368547758e18) return INT64_MIN;
                return static_cast<int64_t>(x);
            } else return static_cast<int64_t>(x);
        },
        v_);
}

uint64_t Value::uintValue() const {
    if (auto* u = std::get_if<uint64_t>(&v_)) return *u;
    return static_cast<uint64_t>(intValue());
}

double Value::doubleValue() const {
    return std::visit(
        [](const auto& x) -> double {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate> || std::is_same_v<T, id>) return 0.0;
            else return static_cast<double>(x);
        },
        v_);
}

id Value::object() const {
    if (auto* o = std::get_if<id>(&v_)) return *o;
    return nullptr;
}

// ---- NSObject ----

Class* NSObject::isa() const {
    if (!Process::exists()) return nullptr;
    Runtime& rt = Runtime::current();
    if (isaGeneration_ != rt.generation() || !isa_) {
        isa_ = rt.classNamed(className());
        isaGeneration_ = rt.generation();
    }
    return isa_;
}

bool NSObject::isKindOfClass(const Class* cls) const {
    if (!cls) return false;
    const Class* mine = isa();
    return mine && mine->isSubclassOf(cls);
}

bool NSObject::respondsToSelector(const SEL& sel) const {
    // A class object answers for its class methods, as on the platform.
    const Class* cls = object_getClass(this);
    return cls && cls->lookUp(sel) != nullptr;
}

// Built up in place: GCC 12 at -O3 takes "<" + std::string for an
// overlapping copy (a false -Wrestrict) and the optimised build stops.
std::string NSObject::description() const {
    std::string text = "<";
    text += className();
    text += ">";
    return text;
}

// ---- Class ----

Class::Class(std::string name, Class* superclass, bool isMeta)
    : name_(std::move(name)), superclass_(superclass), isMeta_(isMeta) {}

bool Class::isSubclassOf(const Class* other) const {
    for (const Class* c = this; c; c = c->superclass_)
        if (c == other) return true;
    return false;
}

IMP Class::lookUp(const SEL& sel) const {
    for (const Class* c = this; c; c = c->superclass_) {
        auto it = c->methods_.find(sel);
        if (it != c->methods_.end() && it->second) return it->second;
    }
    return nullptr;
}

IMP Class::ownMethod(const SEL& sel) const {
    auto it = methods_.find(sel);
    return it == methods_.end() ? nullptr : it->second;
}

void Class::addMethod(const SEL& sel, IMP imp) { methods_[sel] = imp; }

void Class::removeMethod(const SEL& sel) {
    methods_.erase(sel);
    ivars_.erase(sel);
    if (meta_) meta_->methods_.erase(sel);
}

void Class::addClassMethod(const SEL& sel, IMP imp) {
    if (meta_) meta_->methods_[sel] = imp;
}

void Class::addIvar(std::string name, std::function<id(NSObject&)> get) {
    Ivar iv{name, std::move(get)};
    ivars_[std::move(name)] = std::move(iv);
}

const Ivar* Class::ivar(const std::string& name) const {
    for (const Class* c = this; c; c = c->superclass_) {
        auto it = c->ivars_.find(name);
        if (it != c->ivars_.end()) return &it->second;
    }
    return nullptr;
}

// ---- Runtime ----

namespace {

std::vector<Runtime::Installer>& installers() {
    static std::vector<Runtime::Installer> list;
    return list;
}

std::atomic<uint64_t> nextGeneration{1};

// The class table is a process component, so a respring drops every class
// (and every method replacement in it) with the rest of the process.
struct RuntimeComponent : ProcessComponent {
    Runtime runtime;
};

} // namespace

void Runtime::addInstaller(Installer installer) { installers().push_back(installer); }

Runtime& Runtime::current() { return Process::current().get<RuntimeComponent>().runtime; }

Runtime::Runtime() : generation_(nextGeneration++) {
    defineClass("NSObject", "");
    for (Installer install : installers()) install(*this);
}

Runtime::~Runtime() = default;

Class* Runtime::defineClass(const std::string& name, const std::string& superclassName) {
    if (auto* existing = classNamed(name)) return existing;
    Class* super = superclassName.empty() ? nullptr : classNamed(superclassName);
    auto cls = std::make_shared<Class>(name, super, false);
    auto meta = std::make_shared<Class>(name, super ? super->metaclass() : nullptr, true);
    cls->meta_ = meta.get();
    Class* raw = cls.get();
    classes_[name] = cls;
    // Metaclasses are kept under a name no class can have.
    classes_[" meta " + name] = meta;
    return raw;
}

Class* Runtime::classNamed(const std::string& name) const {
    auto it = classes_.find(name);
    return it == classes_.end() ? nullptr : it->second.get();
}

void Runtime::removeMethod(const std::string& className, const SEL& sel) {
    Class* cls = classNamed(className);
    if (!cls) return;
    for (auto& [name, c] : classes_)
        if (!c->isMetaclass() && c->isSubclassOf(cls)) c->removeMethod(sel);
}

void Runtime::removeClass(const std::string& name) {
    classes_.erase(name);
    classes_.erase(" meta " + name);
    // Cached isa pointers must not outlive the class.
    generation_ = nextGeneration++;
}

// ---- C entry points ----

Class* NSClassFromString(const std::string& name) {
    if (name.empty() || name[0] == ' ') return nullptr;
    return Runtime::current().classNamed(name);
}

Class* object_getClass(const NSObject* obj) {
    if (!obj) return nullptr;
    if (auto* cls = dynamic_cast<const Class*>(obj)) return cls->metaclass();
    return obj->isa();
}

const Ivar* class_getInstanceVariable(const Class* cls, const std::string& name) {
    return cls ? cls->ivar(name) : nullptr;
}

id object_getIvar(const id& obj, const Ivar* ivar) {
    if (!obj || !ivar || !ivar->get) return nullptr;
    return ivar->get(*obj);
}

Value objc_msgSend(const id& receiver, const SEL& sel, const Args& args) {
    if (!receiver) return {};
    Class* cls = object_getClass(receiver.get());
    // An object of a class this process never defined (a host class the
    // device lacks) is no object the runtime knows: nothing answers.
    if (!cls) return {};
    IMP imp = cls->lookUp(sel);
    // A live object that cannot answer raises, as on the platform: only nil
    // answers everything with nothing.
    if (!imp) throw UnrecognizedSelector(receiver->className(), sel, cls->isMetaclass());
    return imp(receiver, sel, args);
}

Value objc_msgSend(Class* receiver, const SEL& sel, const Args& args) {
    if (!receiver) return {};
    return objc_msgSend(receiver->self(), sel, args);
}

void MSHookMessageEx(Class* cls, SEL sel, IMP replacement, IMP* result) {
    if (!cls || !replacement) return;
    IMP previous = cls->lookUp(sel);
    if (!previous) return;
    if (result) *result = previous;
    cls->addMethod(sel, replacement);
}

Class* objc_lookUpOrDefineClass(const std::string& name, const std::string& superclassName,
                                std::initializer_list<std::pair<SEL, IMP>> methods) {
    Runtime& rt = Runtime::current();
    if (Class* existing = rt.classNamed(name)) return existing;
    Class* cls = rt.defineClass(name, superclassName);
    for (const auto& [sel, imp] : methods) cls->addMethod(sel, imp);
    return cls;
}
