// The object model that the host and its plugins share: classes registered
// by name, messages sent by selector with the platform's nil rule, instance
// variables found by name, and method replacement in the style of
// CydiaSubstrate's MSHookMessageEx.
//
// C++ classes of the device (Foundation, UIKit, the host) derive from
// NSObject and are called directly. A runtime class is only needed where the
// platform sends a message by selector: host methods that a plugin may
// replace, target/action pairs, timers, and class look-ups by name.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

class NSObject;
class Class;

using id = std::shared_ptr<NSObject>;
using SEL = std::string;
using BOOL = bool;
inline constexpr BOOL YES = true;
inline constexpr BOOL NO = false;

// One argument or result of a message. The nil rule: a message that reaches
// nothing answers an empty Value, which reads as NO, 0 and nil.
class Value {
public:
    Value() = default;
    Value(bool b) : v_(b) {}
    Value(int i) : v_(static_cast<int64_t>(i)) {}
    Value(long i) : v_(static_cast<int64_t>(i)) {}
    Value(long long i) : v_(static_cast<int64_t>(i)) {}
    Value(unsigned u) : v_(static_cast<uint64_t>(u)) {}
    Value(unsigned long u) : v_(static_cast<uint64_t>(u)) {}
    Value(unsigned long long u) : v_(static_cast<uint64_t>(u)) {}
    Value(double d) : v_(d) {}
    Value(id o) : v_(std::move(o)) {}
    template <class T, class = std::enable_if_t<std::is_base_of_v<NSObject, T>>>
    Value(std::shared_ptr<T> o) : v_(id(std::move(o))) {}
    Value(std::nullptr_t) {}

    bool isNil() const;
    bool boolValue() const;       // non-zero number or a non-nil object
    int64_t intValue() const;     // numbers converted; objects and nil give 0
    uint64_t uintValue() const;
    double doubleValue() const;
    id object() const;            // nil unless the value holds an object
    template <class T>
    std::shared_ptr<T> as() const { return std::dynamic_pointer_cast<T>(object()); }

private:
    std::variant<std::monostate, bool, int64_t, uint64_t, double, id> v_;
};

using Args = std::vector<Value>;

// A method implementation. `self` is the receiver (for a class method, the
// class object itself).
using IMP = Value (*)(const id& self, const SEL& sel, const Args& args);

struct Ivar {
    std::string name;
    std::function<id(NSObject&)> get;
};

// The root of every object of the device and its plugins.
class NSObject : public std::enable_shared_from_this<NSObject> {
public:
    NSObject() = default;
    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;
    virtual ~NSObject() = default;

    // The runtime class name of this object's dynamic type. Subclasses that
    // the runtime should know (to receive messages by selector, or to answer
    // isKindOfClass:) override it and register a class of that name.
    virtual std::string className() const { return "NSObject"; }

    // The runtime class, looked up by className() in the current process;
    // nullptr when no class of that name is registered.
    Class* isa() const;
    bool isKindOfClass(const Class* cls) const;
    bool respondsToSelector(const SEL& sel) const;

    id self() { return shared_from_this(); }
    std::shared_ptr<const NSObject> self() const { return shared_from_this(); }

    virtual std::string description() const;

private:
    mutable Class* isa_ = nullptr;
    mutable uint64_t isaGeneration_ = 0;
};

// A runtime class. Class objects are themselves objects (instances of their
// metaclass), so class methods are sent like any other message.
class Class : public NSObject {
public:
    Class(std::string name, Class* superclass, bool isMeta);

    std::string className() const override { return name_; }
    std::string description() const override { return name_; }

    const std::string& name() const { return name_; }
    Class* superclass() const { return superclass_; }
    Class* metaclass() const { return meta_; }
    bool isMetaclass() const { return isMeta_; }
    bool isSubclassOf(const Class* other) const;

    // The method for sel, searched up the superclass chain.
    IMP lookUp(const SEL& sel) const;
    // The method defined by this class itself, not inherited.
    IMP ownMethod(const SEL& sel) const;
    void addMethod(const SEL& sel, IMP imp);
    void addClassMethod(const SEL& sel, IMP imp);
    // Takes the instance method, class method and instance variable of
    // that name away from this class itself.
    void removeMethod(const SEL& sel);
    void addIvar(std::string name, std::function<id(NSObject&)> get);
    const Ivar* ivar(const std::string& name) const;

private:
    friend class Runtime;
    std::string name_;
    Class* superclass_;
    Class* meta_ = nullptr;
    bool isMeta_;
    std::map<SEL, IMP> methods_;
    std::map<std::string, Ivar> ivars_;
};

// The class table of one process. A respring makes a new one.
class Runtime {
public:
    static Runtime& current();

    // Defines a class (and its metaclass). Answers the existing class when
    // the name is taken, so lazy definitions are idempotent. An unknown
    // superclass name gives a root class.
    Class* defineClass(const std::string& name, const std::string& superclassName = "NSObject");
    Class* classNamed(const std::string& name) const;
    void removeClass(const std::string& name);
    // A host version without one method: the class and every subclass of
    // it lose the instance method, class method or instance variable of
    // that name.
    void removeMethod(const std::string& className, const SEL& sel);
    uint64_t generation() const { return generation_; }

    // Classes that every process starts with (Foundation, UIKit, ...):
    // installers run, in registration order, whenever a process's runtime
    // is made. Register only from the device library, never from a plugin.
    using Installer = void (*)(Runtime&);
    static void addInstaller(Installer installer);

    Runtime();
    ~Runtime();

private:
    std::map<std::string, std::shared_ptr<Class>> classes_;
    uint64_t generation_;
};

// Registers a process-start installer from a static object.
struct RuntimeInstaller {
    explicit RuntimeInstaller(Runtime::Installer installer) { Runtime::addInstaller(installer); }
};

// ---- the platform's C entry points ----

Class* NSClassFromString(const std::string& name);
Class* object_getClass(const NSObject* obj);
const Ivar* class_getInstanceVariable(const Class* cls, const std::string& name);
id object_getIvar(const id& obj, const Ivar* ivar);

// Sends a message. A nil receiver does nothing and answers an empty Value,
// as does an object whose class this process never defined (an instance
// of a host class the device lacks); a live receiver whose class has no
// method for the selector raises UnrecognizedSelector, as the platform
// raises "unrecognized selector" (ask respondsToSelector first where a
// method may be missing).
Value objc_msgSend(const id& receiver, const SEL& sel, const Args& args = {});
Value objc_msgSend(Class* receiver, const SEL& sel, const Args& args = {});

template <class... A>
Value msg(const id& receiver, const SEL& sel, A&&... a) {
    return objc_msgSend(receiver, sel, Args{Value(std::forward<A>(a))...});
}
template <class... A>
Value msg(Class* receiver, const SEL& sel, A&&... a) {
    return objc_msgSend(receiver, sel, Args{Value(std::forward<A>(a))...});
}

// Replaces cls's implementation of sel with replacement and stores the
// implementation it had (its own or inherited) in *result. A missing class,
// or a selector the class does not answer, hooks nothing and leaves *result
// as it was. Pass cls->metaclass() to replace a class method.
void MSHookMessageEx(Class* cls, SEL sel, IMP replacement, IMP* result);

// Looks up, or defines, a class with the given instance methods. Plugins use
// this lazily, at first use, so that a fresh process gets fresh classes.
Class* objc_lookUpOrDefineClass(const std::string& name, const std::string& superclassName,
                                std::initializer_list<std::pair<SEL, IMP>> methods = {});
