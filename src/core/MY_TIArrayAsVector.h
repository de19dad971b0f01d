#pragma once

// Growable array of pointers that may own (delete) what they point to. The
// fields are public because the rest of the program reads `count` and the
// slots directly and sets `owns` after construction.
//
// Every slot that holds no element is null, so an owning array never deletes
// a stale pointer.

#include "core/MY_TArrayAsVector.h"

#include <algorithm>
#include <new>
#include <utility>

namespace quintle {

namespace array_detail {

// Pointer order for the sorting operations: null pointers go behind every
// element, other pointers follow ArrayOrder of what they point to.
template <class T>
bool pointerBefore(T const* a, T const* b) {
    if (a == nullptr) return false;
    if (b == nullptr) return true;
    return ArrayOrder<T>::before(*a, *b);
}

}  // namespace array_detail

// Constructor tag: the slots are allocated on first use rather than at once,
// for arrays that many objects carry and most never fill.
struct DeferSlots {};

template <class T>
class MY_TIArrayAsVector {
public:
    T** data = nullptr;        // the slots, owned
    long capacity = 0;         // slots allocated
    long count = 0;            // slots in use
    long initialCapacity = 0;  // capacity given at construction
    long auxCount = 0;         // second counter, kept for the callers
    long step = 0;             // slots added when a full array grows
    T* spare = nullptr;        // handed out for an index beyond the slots
    bool owns = false;         // delete the elements held

    MY_TIArrayAsVector() : MY_TIArrayAsVector(11, 10) {}

    MY_TIArrayAsVector(long const& n, long const& growthStep) : step(growthStep) {
        data = array_detail::allocateSlots<T*>(n, "MY_TIArrayAsVector::MY_TIArrayAsVector()").release();
        capacity = initialCapacity = n;
        owns = true;
    }

    // The same array with its n slots allocated on first use: until then
    // `data` is null and `capacity` 0; the first Add, or the first index
    // below n, allocates the n slots, so the array then grows as the one
    // above.
    MY_TIArrayAsVector(long const& n, long const& growthStep, DeferSlots)
        : initialCapacity(n), step(growthStep), owns(true) {}

    // A copy owns when the original owns: it then holds copies of the
    // elements, otherwise the same pointers.
    MY_TIArrayAsVector(MY_TIArrayAsVector const& other)
        : initialCapacity(other.initialCapacity), owns(other.owns) {
        assignFrom(other, "MY_TIArrayAsVector::MY_TIArrayAsVector(const&)");
    }

    // An owning target deletes its elements and receives copies of the
    // source's; a borrowing target receives the source's pointers.
    // `initialCapacity` and `owns` stay this array's own.
    MY_TIArrayAsVector& operator=(MY_TIArrayAsVector const& other) {
        if (this != &other) assignFrom(other, "MY_TIArrayAsVector::operator=()");
        return *this;
    }

    ~MY_TIArrayAsVector() {
        deleteElements();
        delete[] data;
    }

    // Exchanges the whole state, elements and ownership with it.
    void swap(MY_TIArrayAsVector& other) noexcept {
        std::swap(data, other.data);
        std::swap(capacity, other.capacity);
        std::swap(count, other.count);
        std::swap(initialCapacity, other.initialCapacity);
        std::swap(auxCount, other.auxCount);
        std::swap(step, other.step);
        std::swap(spare, other.spare);
        std::swap(owns, other.owns);
    }

    // Appends the pointer; a full array first grows by `step` slots.
    // Returns the new count.
    long Add(T* item) {
        append(item, "MY_TIArrayAsVector::Add()");
        return count;
    }

    // Drops the slots without deleting any element and provides n + 1 empty
    // ones: an owner must have released its elements before.
    void Reallocate(int const& n) {
        auto slots = array_detail::allocateSlots<T*>(static_cast<long>(n) + 1, "MY_TIArrayAsVector::Reallocate()");
        delete[] data;
        data = slots.release();
        capacity = static_cast<long>(n) + 1;
        count = 0;
        auxCount = 0;
    }

    // Empties the array (deleting the elements when owning); the slots stay.
    void Flush() {
        deleteElements();
        std::fill(data, data + capacity, nullptr);
        count = 0;
        auxCount = 0;
    }

    // Removes slot i (deleting its element when owning) and moves the
    // following slots down. Returns 1, or 0 without any change when i is not
    // the index of an element.
    int Detach(int const& i) {
        if (i < 0 || i >= count) return 0;
        if (owns) deleteElement(data[i]);
        std::copy(data + i + 1, data + count, data + i);
        data[--count] = nullptr;
        return 1;
    }

    // Below `count`: the slot. From `count` up to `capacity`: the slot, and
    // the array now counts up to it. Elsewhere: `spare`, so a write through
    // it does not extend the array.
    T*& operator[](long i) {
        if (data == nullptr && i >= 0 && i < initialCapacity) allocateDeferred("MY_TIArrayAsVector::operator[]()");
        if (i < 0 || i >= capacity) return spare;
        if (i >= count) count = i + 1;
        return data[i];
    }

    // Read-only access cannot extend the array.
    T* const& operator[](long i) const {
        static T* const none = nullptr;
        if (data == nullptr && i >= 0 && i < initialCapacity) return none;  // slots not yet allocated
        if (i < 0 || i >= capacity) return spare;
        return data[i];
    }

    // Sorts the first `count` slots by ArrayOrder<T> of the elements (nulls
    // last): the first of the smallest elements goes to slot 0, the rest is
    // heap-sorted.
    void quickSortArray() {
        if (count < 1) return;
        long first = 0;
        for (long i = 1; i < count; ++i) {
            if (array_detail::pointerBefore<T>(data[i], data[first])) first = i;
        }
        if (first != 0) std::swap(data[0], data[first]);
        heapsort(static_cast<int>(count - 1), data);
    }

    // Sorts a[1] .. a[n] by ArrayOrder<T> of the elements (nulls last); a is
    // a 1-based view of slots, a[0] is not touched.
    static void heapsort(int n, T** a) {
        array_detail::heapSort1(n, a, [](T* x, T* y) { return array_detail::pointerBefore<T>(x, y); });
    }

protected:
    static void deleteElement(T*& element) {
        static_assert(sizeof(T) > 0, "deleting an element of incomplete type");
        delete element;
        element = nullptr;
    }

    void deleteElements() {
        if (!owns) return;
        for (long i = 0; i < count; ++i) deleteElement(data[i]);
    }

    // Allocates the slots of an array constructed with DeferSlots.
    void allocateDeferred(char const* function) {
        data = array_detail::allocateSlots<T*>(initialCapacity, function).release();
        capacity = initialCapacity;
    }

    // Stores `item` in slot `count`, growing by `step` when full.
    void append(T* item, char const* function) {
        if (data == nullptr && initialCapacity > 0) allocateDeferred(function);
        if (count >= capacity) {
            long newCapacity = capacity + step;
            if (newCapacity < count + 1) newCapacity = count + 1;
            auto slots = array_detail::allocateSlots<T*>(newCapacity, function);
            std::copy(data, data + capacity, slots.get());
            delete[] data;
            data = slots.release();
            capacity = newCapacity;
        }
        data[count++] = item;
    }

    // The new contents are complete before the old go, so a failure leaves
    // this array as it was, and a source that borrows this array's own
    // elements is copied before they are deleted.
    // A source whose deferred slots are not allocated yet is copied as if
    // they were.
    void assignFrom(MY_TIArrayAsVector const& other, char const* function) {
        long const otherCapacity = other.data == nullptr ? other.initialCapacity : other.capacity;
        auto slots = array_detail::allocateSlots<T*>(otherCapacity, function);
        if (owns) {
            long made = 0;
            try {
                for (; made < other.count; ++made) {
                    T const* source = other.data[made];
                    if (source != nullptr) slots[made] = new T(*source);
                }
            } catch (...) {
                for (long i = 0; i < made; ++i) delete slots[i];
                try {
                    throw;
                } catch (std::bad_alloc const&) {
                    arrayMemoryFailure(function);
                }
            }
        } else {
            std::copy(other.data, other.data + other.count, slots.get());
        }
        deleteElements();
        delete[] data;
        data = slots.release();
        capacity = otherCapacity;
        count = other.count;
        auxCount = other.auxCount;
        step = other.step;
        spare = other.spare;
    }
};

}  // namespace quintle
