// MemberBinding: one row of an object's table that ties a member id and kind to a typed C++
// accessor. The types come from the accessor's own signature, so the interface table stays the
// one place that declares them; a binding whose types disagree with its row is refused at the call.
#pragma once

#include "platform/automation/callresult.h"
#include "platform/automation/memberinfo.h"
#include "platform/automation/typedvalue.h"

#include <span>
#include <tuple>
#include <type_traits>
#include <utility>

namespace automation {

// What a bound accessor takes and gives, seen as declared types. `writes` marks a parameter that
// the accessor takes by non-const reference: it may change the caller's argument.
struct AccessorSignature {
    ValueType type = ValueType::Void; // a get's value, a put's value, a method's result
    std::array<ValueType, maxParams> params{};
    std::array<bool, maxParams> writes{};
    int paramCount = 0;
};

template <class Object> struct MemberBinding {
    qint32 dispid = 0;
    MemberKind kind = MemberKind::Method;
    // Takes the arguments already converted to their declared types (a put: the value last) and
    // leaves in each argument the value the accessor holds after the call.
    CallResult (*call)(Object& object, std::span<Variant> args) = nullptr;
    AccessorSignature signature;
};

namespace detail {

// An accessor is a member function of the object or a free function whose first parameter is the
// object.
template <class F> struct Accessor;

template <class R, class C, class... A> struct Accessor<R (C::*)(A...)> {
    using Object = C;
    using Result = R;
    using Params = std::tuple<A...>;
    static constexpr bool isMember = true;
};

template <class R, class C, class... A> struct Accessor<R (C::*)(A...) const> {
    using Object = C;
    using Result = R;
    using Params = std::tuple<A...>;
    static constexpr bool isMember = true;
};

template <class R, class O, class... A> struct Accessor<R (*)(O&, A...)> {
    using Object = std::remove_const_t<O>;
    using Result = R;
    using Params = std::tuple<A...>;
    static constexpr bool isMember = false;
};

template <auto F, class Object, class... A> decltype(auto) callAccessor(Object& object, A&... args)
{
    if constexpr (Accessor<decltype(F)>::isMember)
        return (object.*F)(args...);
    else
        return F(object, args...);
}

template <class T> constexpr bool writesThrough()
{
    return std::is_lvalue_reference_v<T> && !std::is_const_v<std::remove_reference_t<T>>;
}

template <auto F, std::size_t... I>
CallResult callWithTypedArgs(typename Accessor<decltype(F)>::Object& object,
                             std::span<Variant> args, std::index_sequence<I...>)
{
    using Traits = Accessor<decltype(F)>;
    using Params = typename Traits::Params;
    using Result = PlainType<typename Traits::Result>;
    Q_UNUSED(args); // a get has no arguments
    std::tuple<PlainType<std::tuple_element_t<I, Params>>...> values{
        TypedValue<PlainType<std::tuple_element_t<I, Params>>>::fromVariant(args[I])...};
    Variant result;
    if constexpr (std::is_void_v<Result>)
        callAccessor<F>(object, std::get<I>(values)...);
    else
        result = TypedValue<Result>::toVariant(callAccessor<F>(object, std::get<I>(values)...));
    ((args[I] =
          TypedValue<PlainType<std::tuple_element_t<I, Params>>>::toVariant(std::get<I>(values))),
     ...);
    return CallResult::success(std::move(result));
}

template <auto F>
CallResult callBound(typename Accessor<decltype(F)>::Object& object, std::span<Variant> args)
{
    constexpr std::size_t count = std::tuple_size_v<typename Accessor<decltype(F)>::Params>;
    return callWithTypedArgs<F>(object, args, std::make_index_sequence<count>{});
}

// A put's value is its accessor's last parameter; a get's or a method's value is the result.
template <auto F> constexpr AccessorSignature signatureOf(MemberKind kind)
{
    using Traits = Accessor<decltype(F)>;
    using Params = typename Traits::Params;
    AccessorSignature signature;
    signature.type = TypedValue<PlainType<typename Traits::Result>>::type;
    [&]<std::size_t... I>(std::index_sequence<I...>)
    {
        ((signature.params[signature.paramCount] =
              TypedValue<PlainType<std::tuple_element_t<I, Params>>>::type,
          signature.writes[signature.paramCount] = writesThrough<std::tuple_element_t<I, Params>>(),
          ++signature.paramCount),
         ...);
    }
    (std::make_index_sequence<std::tuple_size_v<Params>>{});
    if (kind == MemberKind::PropertyPut && signature.paramCount > 0)
        signature.type = signature.params[--signature.paramCount];
    return signature;
}

template <auto F> constexpr auto bind(qint32 dispid, MemberKind kind)
{
    using Object = typename Accessor<decltype(F)>::Object;
    return MemberBinding<Object>{dispid, kind, &callBound<F>, signatureOf<F>(kind)};
}

} // namespace detail

// The accessor that gives a property's value: `T (Object::*)() const` or `T (*)(const Object&)`.
template <auto Getter> constexpr auto bindGet(qint32 dispid)
{
    return detail::bind<Getter>(dispid, MemberKind::PropertyGet);
}

// The accessor that takes a property's new value as its last parameter.
template <auto Setter> constexpr auto bindPut(qint32 dispid)
{
    return detail::bind<Setter>(dispid, MemberKind::PropertyPut);
}

// A method: its parameters in order, by non-const reference where the caller's argument may change.
template <auto Method> constexpr auto bindMethod(qint32 dispid)
{
    return detail::bind<Method>(dispid, MemberKind::Method);
}

// Whether an accessor fits its row: the same value type and parameter types, and no parameter
// changed through a reference where the row passes it by value.
bool fitsMember(const AccessorSignature& signature, const MemberInfo& member);

// Calls the binding of `member` on `object`. Errors: ObjectDoesntSupport when no binding has the
// member's id and kind; TypeMismatch, naming the member, when the binding does not fit the row.
template <class Object>
CallResult callBinding(std::span<const MemberBinding<Object>> bindings, const MemberInfo& member,
                       Object& object, std::span<Variant> args)
{
    for (const MemberBinding<Object>& binding : bindings) {
        if (binding.dispid != member.dispid || binding.kind != member.kind)
            continue;
        if (!fitsMember(binding.signature, member))
            return CallResult::failure(RuntimeError::TypeMismatch,
                                       QByteArray("the accessor of ") + member.name +
                                           " does not have the types its declaration names");
        return binding.call(object, args);
    }
    return CallResult::failure(RuntimeError::ObjectDoesntSupport);
}

} // namespace automation
