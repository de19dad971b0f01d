#include "core/Errors.h"
#include "core/MY_TArrayAsVector.h"
#include "core/MY_TIArrayAsVector.h"
#include "core/MY_TISArrayAsVector.h"
#include "core/my_string.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace quintle {

// Element types of the tests.

// Counts live objects and deletions; a copy can be told to fail.
struct Tracked {
    static int alive;
    static int destroyed;
    static int copiesBeforeFailure;  // < 0: never fail
    int value;

    explicit Tracked(int v = 0) : value(v) { ++alive; }
    Tracked(Tracked const& other) : value(other.value) {
        if (copiesBeforeFailure == 0) throw std::bad_alloc();
        if (copiesBeforeFailure > 0) --copiesBeforeFailure;
        ++alive;
    }
    ~Tracked() {
        --alive;
        ++destroyed;
    }
    bool operator<(Tracked const& other) const { return value < other.value; }
};
int Tracked::alive = 0;
int Tracked::destroyed = 0;
int Tracked::copiesBeforeFailure = -1;

struct Shape {
    virtual ~Shape() = default;
};
struct Circle : Shape {
    static int destroyed;
    ~Circle() override { ++destroyed; }
};
int Circle::destroyed = 0;

// Ordered by key, largest first; tag tells equal keys apart.
struct Keyed {
    int key = 0;
    int tag = 0;
};
template <>
struct ArrayOrder<Keyed> {
    static bool before(Keyed const& a, Keyed const& b) { return a.key > b.key; }
};

// Ordered by name, byte by byte.
struct Named {
    char const* name;
};
template <>
struct ArrayOrder<Named> {
    static bool before(Named const& a, Named const& b) { return std::strcmp(a.name, b.name) < 0; }
};

namespace {

class ArrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        Tracked::alive = 0;
        Tracked::destroyed = 0;
        Tracked::copiesBeforeFailure = -1;
        Circle::destroyed = 0;
    }
    void TearDown() override { Tracked::copiesBeforeFailure = -1; }
};

// ---------------------------------------------------------------- values

using ValueArray = ArrayTest;

TEST_F(ValueArray, DefaultHoldsElevenSlotsAndGrowsByTenAtTheTwelfthAdd) {
    MY_TArrayAsVector<int> a;
    EXPECT_EQ(a.capacity, 11);
    EXPECT_EQ(a.initialCapacity, 11);
    EXPECT_EQ(a.step, 10);
    EXPECT_EQ(a.count, 0);
    EXPECT_EQ(a.auxCount, 0);
    for (int i = 1; i <= 11; ++i) EXPECT_EQ(a.Add(i * 7), i);
    EXPECT_EQ(a.capacity, 11);
    EXPECT_EQ(a.Add(84), 12);
    EXPECT_EQ(a.capacity, 21);
    EXPECT_EQ(a.initialCapacity, 11);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(a[i], (i + 1) * 7);
}

TEST_F(ValueArray, ConstructorReservesOneSlotMoreThanAsked) {
    MY_TArrayAsVector<double> a(4, 3);
    EXPECT_EQ(a.capacity, 5);
    EXPECT_EQ(a.initialCapacity, 5);
    for (int i = 0; i < 5; ++i) a.Add(i + 0.5);
    EXPECT_EQ(a.capacity, 5);
    a.Add(9.0);
    EXPECT_EQ(a.capacity, 8);
    EXPECT_EQ(a.count, 6);
    EXPECT_DOUBLE_EQ(a[4], 4.5);
    EXPECT_DOUBLE_EQ(a[5], 9.0);
}

TEST_F(ValueArray, ReallocateGivesExactlyNEmptySlots) {
    MY_TArrayAsVector<long> a;
    a.Add(1);
    a.Add(2);
    a.auxCount = 4;
    a.Reallocate(5);
    EXPECT_EQ(a.capacity, 5);
    EXPECT_EQ(a.count, 0);
    EXPECT_EQ(a.auxCount, 0);
    EXPECT_EQ(a.initialCapacity, 11);
    for (int i = 0; i < 6; ++i) a.Add(i);
    EXPECT_EQ(a.capacity, 15);
    EXPECT_EQ(a[5], 5);
}

TEST_F(ValueArray, ResizeKeepsElementsAndCountAndRefusesToShrink) {
    MY_TArrayAsVector<int> a(2, 1);
    a.Add(10);
    a.Add(20);
    EXPECT_EQ(a.Resize(8), 8);
    EXPECT_EQ(a.capacity, 8);
    EXPECT_EQ(a.count, 2);
    EXPECT_EQ(a[0], 10);
    EXPECT_EQ(a[1], 20);

    int* before = a.data;
    EXPECT_EQ(a.Resize(4), 8);
    EXPECT_EQ(a.data, before);
    EXPECT_EQ(a.capacity, 8);
}

TEST_F(ValueArray, AddOfOwnElementSurvivesGrowth) {
    // The value passed in lives in the slots that growth releases.
    MY_TArrayAsVector<std::string> a(0, 1);
    a.Add(std::string(40, 'x'));
    ASSERT_EQ(a.capacity, a.count);
    a.Add(a[0]);
    EXPECT_EQ(a[1], std::string(40, 'x'));
    EXPECT_EQ(a[0], std::string(40, 'x'));
}

TEST_F(ValueArray, StringSlotsStartEmptyAndTextsSurviveGrowth) {
    MY_TArrayAsVector<my_string> a(9, 10);
    EXPECT_EQ(a.capacity, 10);
    EXPECT_EQ(a[9].length(), 0);
    EXPECT_EQ(a[9].size(), 10);
    for (int i = 0; i < 11; ++i) a.Add(my_string(std::to_string(i * 11).c_str()));
    EXPECT_EQ(a.capacity, 20);
    for (int i = 0; i < 11; ++i) EXPECT_STREQ(a[i].c_str(), std::to_string(i * 11).c_str());
}

TEST_F(ValueArray, CopiesAreIndependent) {
    MY_TArrayAsVector<int> a(3, 2);
    a.Add(1);
    a.Add(2);
    MY_TArrayAsVector<int> b(a);
    b[0] = 100;
    b.Add(3);
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a.count, 2);
    EXPECT_EQ(b.count, 3);
    EXPECT_EQ(b.capacity, 4);

    MY_TArrayAsVector<int> c;
    c = a;
    a[1] = 50;
    EXPECT_EQ(c[1], 2);
    EXPECT_EQ(c.step, 2);
    MY_TArrayAsVector<int>& alias = c;
    c = alias;
    EXPECT_EQ(c.count, 2);
    EXPECT_EQ(c[0], 1);
}

// ---------------------------------------------------------------- sorting

using ValueSort = ArrayTest;

TEST_F(ValueSort, AgreesWithAnIndependentSortOnRandomData) {
    std::mt19937 gen(12345);
    std::uniform_int_distribution<int> pick(-50, 50);
    for (int size : {0, 1, 2, 3, 7, 16, 101}) {
        MY_TArrayAsVector<double> a(0, 5);
        std::vector<double> expected;
        for (int i = 0; i < size; ++i) {
            double v = pick(gen) / 4.0;
            a.Add(v);
            expected.push_back(v);
        }
        std::sort(expected.begin(), expected.end());
        a.quickSortArray();
        for (int i = 0; i < size; ++i) EXPECT_DOUBLE_EQ(a[i], expected[i]) << "size " << size << " at " << i;
    }
}

TEST_F(ValueSort, SpecialisedOrderSortsLargestKeyFirst) {
    MY_TArrayAsVector<Keyed> a;
    for (Keyed k : {Keyed{1, 0}, Keyed{5, 1}, Keyed{2, 2}, Keyed{5, 3}, Keyed{3, 4}, Keyed{0, 5}}) a.Add(k);
    a.quickSortArray();
    // The first of the largest keys is the one moved to the front.
    EXPECT_EQ(a[0].key, 5);
    EXPECT_EQ(a[0].tag, 1);
    std::vector<int> keys;
    for (int i = 0; i < a.count; ++i) keys.push_back(a[i].key);
    EXPECT_EQ(keys, (std::vector<int>{5, 5, 3, 2, 1, 0}));
}

TEST_F(ValueSort, TwoEqualElementsStayInPlace) {
    MY_TArrayAsVector<Keyed> a;
    a.Add(Keyed{4, 0});
    a.Add(Keyed{4, 1});
    a.quickSortArray();
    EXPECT_EQ(a[0].tag, 0);
    EXPECT_EQ(a[1].tag, 1);
}

TEST_F(ValueSort, HeapsortWorksOnAOneBasedViewAndLeavesPositionZero) {
    int a[] = {99, 5, 3, 8, 1, 4};
    MY_TArrayAsVector<int>::heapsort(5, a);
    EXPECT_EQ(a[0], 99);
    EXPECT_EQ(std::vector<int>(a + 1, a + 6), (std::vector<int>{1, 3, 4, 5, 8}));

    int b[] = {7, 6, 5};
    MY_TArrayAsVector<int>::heapsort(1, b);
    EXPECT_EQ(std::vector<int>(b, b + 3), (std::vector<int>{7, 6, 5}));
}

TEST_F(ValueSort, PointerHeapsortOrdersByNameWithEmptyEntriesLast) {
    Named pear{"pear"}, apple{"apple"}, fig{"fig"}, kiwi{"kiwi"};
    Named* a[] = {&kiwi, &pear, nullptr, &fig, &apple};
    MY_TIArrayAsVector<Named>::heapsort(4, a);
    EXPECT_EQ(a[0], &kiwi);
    EXPECT_EQ(a[1], &apple);
    EXPECT_EQ(a[2], &fig);
    EXPECT_EQ(a[3], &pear);
    EXPECT_EQ(a[4], nullptr);
}

// ---------------------------------------------------------------- pointers

using PointerArray = ArrayTest;

TEST_F(PointerArray, GrowsByItsStep) {
    MY_TIArrayAsVector<int> a(1, 5);
    EXPECT_TRUE(a.owns);
    a.owns = false;
    int x = 0;
    std::vector<long> capacities;
    for (int i = 1; i <= 7; ++i) {
        EXPECT_EQ(a.Add(&x), i);
        capacities.push_back(a.capacity);
    }
    EXPECT_EQ(capacities, (std::vector<long>{1, 6, 6, 6, 6, 6, 11}));
    EXPECT_EQ(a.initialCapacity, 1);
    for (long i = 7; i < a.capacity; ++i) EXPECT_EQ(a.data[i], nullptr) << i;  // fresh slots are empty

    MY_TIArrayAsVector<int> d;
    EXPECT_EQ(d.capacity, 11);
    EXPECT_EQ(d.step, 10);
    EXPECT_TRUE(d.owns);
}

TEST_F(PointerArray, SubscriptBetweenCountAndCapacityExtendsTheCount) {
    MY_TIArrayAsVector<int> a(10, 5);
    a.owns = false;
    int x = 1, y = 2, z = 3;
    a.Add(&x);
    a.Add(&y);

    EXPECT_EQ(a[5], nullptr);  // a fresh slot is empty
    EXPECT_EQ(a.count, 6);
    EXPECT_EQ(a[3], nullptr);  // slots passed over are empty too
    a[5] = &z;
    EXPECT_EQ(a.data[5], &z);

    a[10] = &z;  // beyond the slots: lands in the spare
    EXPECT_EQ(a.count, 6);
    EXPECT_EQ(a.capacity, 10);
    EXPECT_EQ(a.spare, &z);
    EXPECT_EQ(&a[-1], &a.spare);
    EXPECT_EQ(a.count, 6);

    MY_TIArrayAsVector<int> const& view = a;
    EXPECT_EQ(view[8], nullptr);
    EXPECT_EQ(a.count, 6);  // reading through a const view does not extend
}

TEST_F(PointerArray, OwningArrayDeletesEachElementOnce) {
    {
        MY_TIArrayAsVector<Tracked> a(2, 2);
        for (int i = 0; i < 5; ++i) a.Add(new Tracked(i));
        ASSERT_EQ(a.capacity, 6);
        a[5];  // an empty slot inside the count must not be deleted
        EXPECT_EQ(a.count, 6);
        EXPECT_EQ(Tracked::alive, 5);
    }
    EXPECT_EQ(Tracked::alive, 0);
    EXPECT_EQ(Tracked::destroyed, 5);
}

TEST_F(PointerArray, OwningArrayDeletesThroughTheVirtualDestructor) {
    {
        MY_TIArrayAsVector<Shape> a(1, 1);
        a.Add(new Circle);
        a.Add(new Circle);
    }
    EXPECT_EQ(Circle::destroyed, 2);
}

TEST_F(PointerArray, BorrowingArrayNeverDeletes) {
    std::vector<Tracked> items(4);
    {
        MY_TIArrayAsVector<Tracked> a(2, 2);
        a.owns = false;
        for (auto& t : items) a.Add(&t);
        EXPECT_EQ(a.Detach(1), 1);
        a.Flush();
        EXPECT_EQ(Tracked::destroyed, 0);
        a.Add(&items[0]);
    }
    EXPECT_EQ(Tracked::destroyed, 0);
    EXPECT_EQ(Tracked::alive, 4);
}

TEST_F(PointerArray, FlushEmptiesButKeepsTheSlots) {
    MY_TIArrayAsVector<Tracked> a(2, 3);
    for (int i = 0; i < 4; ++i) a.Add(new Tracked(i));
    a.auxCount = 2;
    a.Flush();
    EXPECT_EQ(Tracked::alive, 0);
    EXPECT_EQ(a.count, 0);
    EXPECT_EQ(a.auxCount, 0);
    EXPECT_EQ(a.capacity, 5);
    EXPECT_EQ(a[3], nullptr);
    a.Flush();
    EXPECT_EQ(Tracked::destroyed, 4);
}

TEST_F(PointerArray, DetachRemovesOneSlotAndShiftsTheRest) {
    MY_TIArrayAsVector<Tracked> a(5, 5);
    Tracked* t[4];
    for (int i = 0; i < 4; ++i) a.Add(t[i] = new Tracked(i));

    EXPECT_EQ(a.Detach(1), 1);
    EXPECT_EQ(Tracked::destroyed, 1);
    ASSERT_EQ(a.count, 3);
    EXPECT_EQ(a.data[0], t[0]);
    EXPECT_EQ(a.data[1], t[2]);
    EXPECT_EQ(a.data[2], t[3]);
    EXPECT_EQ(a.data[3], nullptr);

    EXPECT_EQ(a.Detach(2), 1);  // the last one
    ASSERT_EQ(a.count, 2);
    EXPECT_EQ(a.data[0], t[0]);
    EXPECT_EQ(a.data[1], t[2]);
    EXPECT_EQ(Tracked::alive, 2);
}

TEST_F(PointerArray, DetachRefusesAnyIndexOutsideTheElements) {
    MY_TIArrayAsVector<Tracked> a(5, 5);
    a.Add(new Tracked(1));
    a.Add(new Tracked(2));
    for (int i : {-1, 2, 4, 5, 100, INT_MAX, INT_MIN}) {
        EXPECT_EQ(a.Detach(i), 0) << i;
    }
    EXPECT_EQ(a.count, 2);
    EXPECT_EQ(Tracked::destroyed, 0);
    EXPECT_EQ(a.data[1]->value, 2);
}

TEST_F(PointerArray, ReallocateDropsSlotsWithoutDeleting) {
    MY_TIArrayAsVector<Tracked> a(2, 2);
    Tracked* t1 = new Tracked(1);
    Tracked* t2 = new Tracked(2);
    a.Add(t1);
    a.Add(t2);
    a.auxCount = 1;
    a.Reallocate(5);
    EXPECT_EQ(a.capacity, 6);
    EXPECT_EQ(a.count, 0);
    EXPECT_EQ(a.auxCount, 0);
    EXPECT_EQ(Tracked::alive, 2);
    for (long i = 0; i < a.capacity; ++i) EXPECT_EQ(a.data[i], nullptr);
    delete t1;
    delete t2;
}

TEST_F(PointerArray, AssignmentIntoAnOwningArrayCopiesTheElements) {
    MY_TIArrayAsVector<Tracked> source(3, 7);
    source.Add(new Tracked(10));
    source.Add(new Tracked(20));
    source.auxCount = 1;
    Tracked spareItem(0);
    source.spare = &spareItem;

    MY_TIArrayAsVector<Tracked> target(1, 1);
    target.Add(new Tracked(-1));
    target.Add(new Tracked(-2));
    ASSERT_EQ(Tracked::alive, 5);

    target = source;
    EXPECT_EQ(Tracked::destroyed, 2);  // its former elements
    EXPECT_EQ(Tracked::alive, 5);      // 2 in source, 2 copies, the spare
    EXPECT_EQ(target.capacity, 3);
    EXPECT_EQ(target.count, 2);
    EXPECT_EQ(target.auxCount, 1);
    EXPECT_EQ(target.step, 7);
    EXPECT_EQ(target.spare, &spareItem);
    EXPECT_EQ(target.initialCapacity, 1);
    EXPECT_TRUE(target.owns);
    EXPECT_NE(target.data[0], source.data[0]);
    EXPECT_EQ(target.data[0]->value, 10);
    EXPECT_EQ(target.data[1]->value, 20);
    EXPECT_EQ(target.data[2], nullptr);
}

TEST_F(PointerArray, AssignmentIntoABorrowingArraySharesThePointers) {
    MY_TIArrayAsVector<Tracked> source(2, 2);
    source.Add(new Tracked(1));
    source.Add(new Tracked(2));
    {
        MY_TIArrayAsVector<Tracked> target(8, 8);
        target.owns = false;
        target = source;
        EXPECT_EQ(target.data[0], source.data[0]);
        EXPECT_EQ(target.data[1], source.data[1]);
        EXPECT_EQ(target.initialCapacity, 8);
        EXPECT_FALSE(target.owns);
        EXPECT_EQ(Tracked::alive, 2);
    }
    EXPECT_EQ(Tracked::alive, 2);
}

TEST_F(PointerArray, SelfAssignmentKeepsTheElements) {
    MY_TIArrayAsVector<Tracked> a(2, 2);
    a.Add(new Tracked(5));
    a.Add(new Tracked(6));
    Tracked* first = a.data[0];
    MY_TIArrayAsVector<Tracked>& alias = a;
    a = alias;
    EXPECT_EQ(a.count, 2);
    EXPECT_EQ(a.data[0], first);
    EXPECT_EQ(a.data[1]->value, 6);
    EXPECT_EQ(Tracked::destroyed, 0);
}

TEST_F(PointerArray, AssignmentFromABorrowerOfTheTargetsOwnElements) {
    MY_TIArrayAsVector<Tracked> owner(2, 2);
    owner.Add(new Tracked(3));
    owner.Add(new Tracked(4));
    MY_TIArrayAsVector<Tracked> borrower(2, 2);
    borrower.owns = false;
    borrower = owner;

    owner = borrower;  // copies its own elements, then lets the old ones go
    EXPECT_EQ(owner.data[0]->value, 3);
    EXPECT_EQ(owner.data[1]->value, 4);
    EXPECT_EQ(Tracked::alive, 2);
}

TEST_F(PointerArray, CopyConstructionFollowsTheOwnership) {
    {
        MY_TIArrayAsVector<Tracked> a(2, 2);
        a.Add(new Tracked(1));
        MY_TIArrayAsVector<Tracked> b(a);
        EXPECT_TRUE(b.owns);
        EXPECT_NE(b.data[0], a.data[0]);
        EXPECT_EQ(b.data[0]->value, 1);
        EXPECT_EQ(Tracked::alive, 2);
    }
    EXPECT_EQ(Tracked::alive, 0);
    EXPECT_EQ(Tracked::destroyed, 2);
}

// ---------------------------------------------------------------- ordered

using OrderedArray = ArrayTest;

TEST_F(OrderedArray, KeepsAscendingOrderAndReturnsThePosition) {
    MY_TISArrayAsVector<Tracked> a(2, 2);
    EXPECT_EQ(a.Add(new Tracked(5)), 0);
    EXPECT_EQ(a.Add(new Tracked(9)), 1);
    EXPECT_EQ(a.Add(new Tracked(1)), 0);
    EXPECT_EQ(a.Add(new Tracked(7)), 2);
    ASSERT_EQ(a.count, 4);
    std::vector<int> values;
    for (long i = 0; i < a.count; ++i) values.push_back(a.data[i]->value);
    EXPECT_EQ(values, (std::vector<int>{1, 5, 7, 9}));
}

TEST_F(OrderedArray, EqualElementsKeepTheirOrderOfArrival) {
    // Larger key first; a new record goes behind every record whose key is
    // at least its own.
    MY_TISArrayAsVector<Keyed> a(1, 1);
    EXPECT_EQ(a.Add(new Keyed{3, 0}), 0);
    EXPECT_EQ(a.Add(new Keyed{3, 1}), 1);
    EXPECT_EQ(a.Add(new Keyed{8, 2}), 0);
    EXPECT_EQ(a.Add(new Keyed{3, 3}), 3);
    EXPECT_EQ(a.Add(new Keyed{5, 4}), 1);
    std::vector<int> tags;
    for (long i = 0; i < a.count; ++i) tags.push_back(a.data[i]->tag);
    EXPECT_EQ(tags, (std::vector<int>{2, 4, 0, 1, 3}));
}

TEST_F(OrderedArray, MatchesAStableSortOfTheInsertions) {
    std::mt19937 gen(777);
    std::uniform_int_distribution<int> pick(0, 9);
    MY_TISArrayAsVector<Keyed> a(3, 4);
    std::vector<Keyed> expected;
    for (int i = 0; i < 60; ++i) {
        Keyed k{pick(gen), i};
        a.Add(new Keyed(k));
        expected.push_back(k);
    }
    std::stable_sort(expected.begin(), expected.end(), [](Keyed const& x, Keyed const& y) { return x.key > y.key; });
    ASSERT_EQ(a.count, 60);
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(a.data[i]->key, expected[i].key) << i;
        EXPECT_EQ(a.data[i]->tag, expected[i].tag) << i;
    }
}

TEST_F(OrderedArray, FlushDeletesAndReturnsToTheInitialCapacity) {
    MY_TISArrayAsVector<Tracked> a(2, 3);
    for (int i = 0; i < 6; ++i) a.Add(new Tracked(i));
    EXPECT_EQ(a.capacity, 8);
    a.Flush();
    EXPECT_EQ(Tracked::destroyed, 6);
    EXPECT_EQ(a.capacity, 2);
    EXPECT_EQ(a.count, 0);
    EXPECT_EQ(a.auxCount, 0);
    a.Add(new Tracked(1));
    EXPECT_EQ(a.data[0]->value, 1);
}

// ---------------------------------------------------------------- memory

using ArrayMemory = ArrayTest;

// A step this large cannot be allocated: the slot count overflows the size
// of the request.
constexpr long hugeStep = LONG_MAX / 2;

TEST_F(ArrayMemory, FailedGrowthOfAPointerArrayThrowsAndChangesNothing) {
    MY_TIArrayAsVector<Tracked> a(1, hugeStep);
    Tracked* first = new Tracked(1);
    a.Add(first);
    Tracked second(2);
    EXPECT_THROW(a.Add(&second), ExceptionType);
    EXPECT_EQ(a.capacity, 1);
    EXPECT_EQ(a.count, 1);
    EXPECT_EQ(a.data[0], first);

    MY_TISArrayAsVector<Tracked> s(1, hugeStep);
    s.Add(new Tracked(3));
    EXPECT_THROW(s.Add(&second), ExceptionType);
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(s.data[0]->value, 3);
}

TEST_F(ArrayMemory, FailedAllocationOfAValueArrayThrowsAndChangesNothing) {
    MY_TArrayAsVector<double> a(0, hugeStep);
    a.Add(1.5);
    EXPECT_THROW(a.Add(2.5), ExceptionType);
    EXPECT_EQ(a.capacity, 1);
    EXPECT_EQ(a.count, 1);
    EXPECT_DOUBLE_EQ(a[0], 1.5);

    EXPECT_THROW(a.Resize(hugeStep), ExceptionType);
    EXPECT_THROW(a.Reallocate(-2), ExceptionType);
    EXPECT_EQ(a.capacity, 1);
    EXPECT_EQ(a.count, 1);
    EXPECT_DOUBLE_EQ(a[0], 1.5);
}

TEST_F(ArrayMemory, FailedElementCopyLeavesTheTargetAsItWas) {
    MY_TIArrayAsVector<Tracked> source(3, 3);
    for (int i = 0; i < 3; ++i) source.Add(new Tracked(i));
    MY_TIArrayAsVector<Tracked> target(1, 1);
    Tracked* kept = new Tracked(42);
    target.Add(kept);

    Tracked::copiesBeforeFailure = 2;  // the third copy fails
    EXPECT_THROW(target = source, ExceptionType);
    Tracked::copiesBeforeFailure = -1;
    EXPECT_EQ(target.count, 1);
    EXPECT_EQ(target.data[0], kept);
    EXPECT_EQ(kept->value, 42);
    EXPECT_EQ(Tracked::alive, 4);  // the two copies made were released
}

TEST_F(ArrayMemory, FailureIsLoggedAsMessageZero) {
    scratch::Dir dir("quintle_arrays");
    E.init_log_file(my_string((dir / "log.txt").string().c_str()), false);
    MY_TIArrayAsVector<int> a(0, hugeStep);
    int x = 0;
    EXPECT_THROW(a.Add(&x), ExceptionType);
    E.CloseLog_file();

    std::string const text = scratch::read_file(dir / "log.txt");
    EXPECT_NE(text.find(" #[MEMORY # "), std::string::npos) << text;
    EXPECT_NE(text.find("from function \"MY_TIArrayAsVector::Add()\" : not enough memory"), std::string::npos) << text;
}

}  // namespace
}  // namespace quintle
