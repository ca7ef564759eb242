#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

// A value or an error, for fallible calls that must not be ignored.
template <typename T, typename E = QString>
class [[nodiscard]] Result {
public:
    Result(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    static Result failure(E error) { return Result(std::in_place_index<1>, std::move(error)); }

    bool ok() const { return m_data.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() & { return std::get<0>(m_data); }
    const T& value() const& { return std::get<0>(m_data); }
    T&& value() && { return std::get<0>(std::move(m_data)); }
    T* operator->() { return &value(); }
    const E& error() const { return std::get<1>(m_data); }

private:
    template <std::size_t I, typename V>
    Result(std::in_place_index_t<I> tag, V&& v) : m_data(tag, std::forward<V>(v))
    {}
    std::variant<T, E> m_data;
};

template <typename E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    static Result failure(E error)
    {
        Result r;
        r.m_error = std::move(error);
        return r;
    }
    bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    const E& error() const { return *m_error; }

private:
    std::optional<E> m_error;
};

using Status = Result<void>;
