#pragma once

// Pointer array that keeps its elements in ArrayOrder<T> as they are added;
// elements that compare equal stay in their order of arrival.

#include "core/MY_TIArrayAsVector.h"

#include <utility>

namespace quintle {

template <class T>
class MY_TISArrayAsVector : public MY_TIArrayAsVector<T> {
    using Base = MY_TIArrayAsVector<T>;

public:
    using Base::Base;

    // Appends the pointer, then moves it towards the front while it belongs
    // strictly before its predecessor. Returns its final position.
    long Add(T* item) {
        this->append(item, "MY_TISArrayAsVector::Add()");
        long k = this->count - 1;
        T** slots = this->data;
        while (k > 0 && array_detail::pointerBefore<T>(slots[k], slots[k - 1])) {
            std::swap(slots[k], slots[k - 1]);
            --k;
        }
        return k;
    }

    // Empties the array (deleting the elements when owning) and goes back to
    // fresh slots of the initial capacity.
    void Flush() {
        auto slots = array_detail::allocateSlots<T*>(this->initialCapacity, "MY_TISArrayAsVector::Flush()");
        this->deleteElements();
        delete[] this->data;
        this->data = slots.release();
        this->capacity = this->initialCapacity;
        this->count = 0;
        this->auxCount = 0;
    }
};

}  // namespace quintle
