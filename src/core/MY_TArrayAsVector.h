#pragma once

// Growable array of values. The fields are public because the rest of the
// program reads `count` and the slots directly and empties an array by
// setting `count` and `auxCount` to 0.

#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace quintle {

// Order used by the sorting operations of the arrays: `before(a, b)` is true
// when a belongs strictly in front of b. The default is ascending `<`; an
// element type with another order specialises this template next to its own
// definition.
template <class T>
struct ArrayOrder {
    static bool before(T const& a, T const& b) { return a < b; }
};

// Ends the run after an allocation of array slots failed: reports message 0
// (MEMORY) through `E` and throws `ExceptionType`, also when no log is open.
// Out of line so that this header need not include the message table, which
// itself holds one of these arrays.
[[noreturn]] void arrayMemoryFailure(char const* function);

namespace array_detail {

// Allocates n default-constructed slots; any failure to obtain them (too
// large, negative, out of memory) ends the run through arrayMemoryFailure.
template <class T>
std::unique_ptr<T[]> allocateSlots(long n, char const* function) {
    try {
        if (n < 0) throw std::bad_array_new_length();
        return std::unique_ptr<T[]>(new T[static_cast<std::size_t>(n)]());
    } catch (std::bad_alloc const&) {
        arrayMemoryFailure(function);
    }
}

// Moves when that cannot fail, so a failed growth leaves the source intact.
template <class T>
void transfer(T& to, T& from) {
    if constexpr (std::is_nothrow_move_assignable_v<T>) {
        to = std::move(from);
    } else {
        to = from;
    }
}

// The heap sort shared by the arrays: sorts a[1] .. a[n] (a 1-based view)
// with `before`, building the heap from n / 2 + 1 downwards and then moving
// the top behind the heap. Not stable; nothing happens for n < 2.
template <class T, class Before>
void heapSort1(long n, T* a, Before before) {
    if (n < 2) return;
    long l = n / 2 + 1;
    long ir = n;
    for (;;) {
        T item;
        if (l > 1) {
            --l;
            item = std::move(a[l]);
        } else {
            item = std::move(a[ir]);
            a[ir] = std::move(a[1]);
            if (--ir == 1) {
                a[1] = std::move(item);
                return;
            }
        }
        long i = l;
        long j = l + l;
        while (j <= ir) {
            if (j < ir && before(a[j], a[j + 1])) ++j;
            if (!before(item, a[j])) break;
            a[i] = std::move(a[j]);
            i = j;
            j += j;
        }
        a[i] = std::move(item);
    }
}

}  // namespace array_detail

template <class T>
class MY_TArrayAsVector {
public:
    T* data = nullptr;         // the slots, owned
    long capacity = 0;         // slots allocated
    long initialCapacity = 0;  // capacity given at construction
    long count = 0;            // slots in use, from slot 0
    long auxCount = 0;         // second counter, kept for the callers
    long step = 0;             // slots added when a full array grows

    MY_TArrayAsVector() : MY_TArrayAsVector(10, 10) {}

    // n + 1 slots: the callers pass the largest index they mean to use.
    MY_TArrayAsVector(long const& n, long const& growthStep) : step(growthStep) {
        data = array_detail::allocateSlots<T>(n + 1, "MY_TArrayAsVector::MY_TArrayAsVector()").release();
        capacity = initialCapacity = n + 1;
    }

    MY_TArrayAsVector(MY_TArrayAsVector const& other)
        : initialCapacity(other.initialCapacity),
          count(other.count),
          auxCount(other.auxCount),
          step(other.step) {
        auto slots = array_detail::allocateSlots<T>(other.capacity, "MY_TArrayAsVector::MY_TArrayAsVector(const&)");
        for (long i = 0; i < other.count; ++i) slots[i] = other.data[i];
        data = slots.release();
        capacity = other.capacity;
    }

    MY_TArrayAsVector(MY_TArrayAsVector&& other) noexcept
        : data(std::exchange(other.data, nullptr)),
          capacity(std::exchange(other.capacity, 0)),
          initialCapacity(other.initialCapacity),
          count(std::exchange(other.count, 0)),
          auxCount(std::exchange(other.auxCount, 0)),
          step(other.step) {}

    MY_TArrayAsVector& operator=(MY_TArrayAsVector const& other) {
        if (this != &other) {
            MY_TArrayAsVector copy(other);
            exchangeWith(copy);
        }
        return *this;
    }

    MY_TArrayAsVector& operator=(MY_TArrayAsVector&& other) noexcept {
        if (this != &other) {
            MY_TArrayAsVector moved(std::move(other));
            exchangeWith(moved);
        }
        return *this;
    }

    ~MY_TArrayAsVector() { delete[] data; }

    // Appends a copy of `value`; a full array first grows by `step` slots.
    // Returns the new count.
    long Add(T const& value) {
        if (count >= capacity) {
            // Store into the new slots before the old ones go: `value` may be
            // one of them.
            long newCapacity = capacity + step;
            if (newCapacity < count + 1) newCapacity = count + 1;
            auto slots = array_detail::allocateSlots<T>(newCapacity, "MY_TArrayAsVector::Add()");
            slots[count] = value;
            for (long i = 0; i < capacity; ++i) array_detail::transfer(slots[i], data[i]);
            delete[] data;
            data = slots.release();
            capacity = newCapacity;
        } else {
            data[count] = value;
        }
        return ++count;
    }

    // Discards the contents and provides n fresh slots (n, not n + 1).
    void Reallocate(int const& n) {
        auto slots = array_detail::allocateSlots<T>(n, "MY_TArrayAsVector::Reallocate()");
        delete[] data;
        data = slots.release();
        capacity = n;
        count = 0;
        auxCount = 0;
    }

    // Grows to n slots keeping the first `capacity` elements; `count` is
    // unchanged. A smaller n would lose elements and is refused (the array
    // stays as it is and its capacity is returned).
    long Resize(long const& n) {
        if (n < capacity) return capacity;
        auto slots = array_detail::allocateSlots<T>(n, "MY_TArrayAsVector::Resize()");
        for (long i = 0; i < capacity; ++i) array_detail::transfer(slots[i], data[i]);
        delete[] data;
        data = slots.release();
        capacity = n;
        return n;
    }

    T& operator[](long i) { return data[i]; }
    T const& operator[](long i) const { return data[i]; }

    // Sorts the first `count` elements by ArrayOrder<T>: the extreme element
    // (the first of equal ones) goes to slot 0, the rest is heap-sorted.
    void quickSortArray() {
        if (count < 1) return;
        long first = 0;
        for (long i = 1; i < count; ++i) {
            if (ArrayOrder<T>::before(data[i], data[first])) first = i;
        }
        if (first != 0) std::swap(data[0], data[first]);
        heapsort(static_cast<int>(count - 1), data);
    }

    // Sorts a[1] .. a[n] by ArrayOrder<T>; a is a 1-based view of slots.
    static void heapsort(int n, T* a) {
        array_detail::heapSort1(n, a, [](T const& x, T const& y) { return ArrayOrder<T>::before(x, y); });
    }

private:
    void exchangeWith(MY_TArrayAsVector& other) noexcept {
        std::swap(data, other.data);
        std::swap(capacity, other.capacity);
        std::swap(initialCapacity, other.initialCapacity);
        std::swap(count, other.count);
        std::swap(auxCount, other.auxCount);
        std::swap(step, other.step);
    }
};

}  // namespace quintle
