#include "core/Errors.h"
#include "core/MY_TArrayAsVector.h"
#include "core/MY_TIArrayAsVector.h"
#include "core/MY_TISArrayAsVector.h"
#include "support/process_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace quintle {

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

// Ordered by key, largest first; tag tells equal keys apart.
struct Keyed {
    int key = 0;
    int tag = 0;
};
template <>
struct ArrayOrder<Keyed> {
    static bool before(Keyed const& a, Keyed const& b) { return a.key > b.key; }
};

namespace {

class ArrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        Tracked::alive = 0;
        Tracked::destroyed = 0;
        Tracked::copiesBeforeFailure = -1;
    }
    void TearDown() override { Tracked::copiesBeforeFailure = -1; }
};

TEST_F(ArrayTest, ValueArrayGrowsByItsStepAndKeepsItsOwnElementOnGrowth) {
    MY_TArrayAsVector<int> a;
    for (int i = 1; i <= 11; ++i) EXPECT_EQ(a.Add(i * 7), i);
    EXPECT_EQ(a.capacity, 11);
    EXPECT_EQ(a.Add(84), 12);
    EXPECT_EQ(a.capacity, 21);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(a[i], (i + 1) * 7);

    // The value passed in lives in the slots that growth releases.
    MY_TArrayAsVector<std::string> s(0, 1);
    s.Add(std::string(40, 'x'));
    ASSERT_EQ(s.capacity, s.count);
    s.Add(s[0]);
    EXPECT_EQ(s[1], std::string(40, 'x'));
}

TEST_F(ArrayTest, SortsAgreeWithIndependentSorts) {
    std::mt19937 gen(12345);
    std::uniform_int_distribution<int> pick(-50, 50);
    for (int size : {0, 1, 2, 3, 16, 101}) {
        MY_TArrayAsVector<double> a(0, 5);
        std::vector<double> expected;
        for (int i = 0; i < size; ++i) {
            expected.push_back(pick(gen) / 4.0);
            a.Add(expected.back());
        }
        std::sort(expected.begin(), expected.end());
        a.quickSortArray();
        for (int i = 0; i < size; ++i) EXPECT_EQ(a[i], expected[i]) << "size " << size << " at " << i;
    }
    // The ordered array places a new record behind every record whose key is
    // at least its own: a stable sort of the insertions.
    MY_TISArrayAsVector<Keyed> s(3, 4);
    std::vector<Keyed> expected;
    for (int i = 0; i < 60; ++i) {
        Keyed k{static_cast<int>(gen() % 10), i};
        s.Add(new Keyed(k));
        expected.push_back(k);
    }
    std::stable_sort(expected.begin(), expected.end(), [](Keyed const& x, Keyed const& y) { return x.key > y.key; });
    ASSERT_EQ(s.count, 60);
    for (int i = 0; i < 60; ++i) EXPECT_EQ(s.data[i]->tag, expected[i].tag) << i;
}

TEST_F(ArrayTest, OwningArrayDeletesEachElementOnceBorrowingNever) {
    std::vector<Tracked> items(2);
    {
        MY_TIArrayAsVector<Tracked> owner(2, 2);
        for (int i = 0; i < 5; ++i) owner.Add(new Tracked(i));
        owner[5];  // an empty slot inside the count must not be deleted
        EXPECT_EQ(owner.count, 6);
        EXPECT_EQ(owner.Detach(1), 1);
        EXPECT_EQ(owner.data[1]->value, 2);
        EXPECT_EQ(Tracked::destroyed, 1);

        MY_TIArrayAsVector<Tracked> borrower(2, 2);
        borrower.owns = false;
        for (auto& t : items) borrower.Add(&t);
        borrower.Flush();
    }
    EXPECT_EQ(Tracked::alive, 2);
    EXPECT_EQ(Tracked::destroyed, 5);
}

TEST_F(ArrayTest, DetachRefusesAnyIndexOutsideTheElements) {
    MY_TIArrayAsVector<Tracked> a(5, 5);
    a.Add(new Tracked(1));
    a.Add(new Tracked(2));
    for (int i : {-1, 2, 4, 5, INT_MAX, INT_MIN}) EXPECT_EQ(a.Detach(i), 0) << i;
    EXPECT_EQ(a.count, 2);
    EXPECT_EQ(Tracked::destroyed, 0);
}

TEST_F(ArrayTest, AssignmentCopiesIntoAnOwnerAndSurvivesItsOwnElements) {
    MY_TIArrayAsVector<Tracked> source(3, 7);
    source.Add(new Tracked(10));
    source.Add(new Tracked(20));
    MY_TIArrayAsVector<Tracked> target(1, 1);
    target.Add(new Tracked(-1));
    target = source;
    EXPECT_EQ(Tracked::destroyed, 1);  // its former element
    EXPECT_NE(target.data[0], source.data[0]);
    EXPECT_EQ(target.data[1]->value, 20);

    // A borrower of the target's own elements assigned back: copied first,
    // then the old ones go.
    MY_TIArrayAsVector<Tracked> borrower(2, 2);
    borrower.owns = false;
    borrower = target;
    target = borrower;
    EXPECT_EQ(target.data[0]->value, 10);
    EXPECT_EQ(target.data[1]->value, 20);
    EXPECT_EQ(Tracked::alive, 4);
}

// An array with deferred slots holds none until used, then behaves as the
// eager one: the same capacities as it grows, the same slots reachable by
// index (an index below the initial capacity extends it), the same copies.
TEST_F(ArrayTest, DeferredSlotsComeWithFirstUseAndThenGrowAsEagerOnes) {
    MY_TIArrayAsVector<Tracked> eager(3, 4);
    MY_TIArrayAsVector<Tracked> deferred(3, 4, DeferSlots{});
    EXPECT_EQ(deferred.data, nullptr);
    EXPECT_EQ(deferred.capacity, 0);
    deferred.Flush();
    EXPECT_EQ(deferred.Detach(0), 0);
    MY_TIArrayAsVector<Tracked> const& view = deferred;
    EXPECT_EQ(view[2], nullptr);
    EXPECT_EQ(view[3], nullptr);  // beyond the slots: the spare
    EXPECT_EQ(deferred.data, nullptr);

    // A copy of the untouched array is a copy of the eager one.
    MY_TIArrayAsVector<Tracked> copy(deferred);
    EXPECT_EQ(copy.capacity, 3);
    EXPECT_EQ(copy.count, 0);

    std::vector<long> eagerCapacities;
    std::vector<long> deferredCapacities;
    for (int i = 0; i < 9; ++i) {
        eager.Add(new Tracked(i));
        deferred.Add(new Tracked(i));
        eagerCapacities.push_back(eager.capacity);
        deferredCapacities.push_back(deferred.capacity);
    }
    EXPECT_EQ(deferredCapacities, (std::vector<long>{3, 3, 3, 7, 7, 7, 7, 11, 11}));
    EXPECT_EQ(deferredCapacities, eagerCapacities);
    EXPECT_EQ(deferred.data[8]->value, 8);

    // Indexing before any Add allocates the slots as the eager array has them.
    MY_TIArrayAsVector<Tracked> indexed(3, 4, DeferSlots{});
    indexed[1] = new Tracked(5);
    EXPECT_EQ(indexed.capacity, 3);
    EXPECT_EQ(indexed.count, 2);
    EXPECT_EQ(indexed.data[0], nullptr);
    MY_TIArrayAsVector<Tracked> unused(3, 4, DeferSlots{});
    unused[7] = nullptr;  // beyond the initial capacity: the spare, no slots
    EXPECT_EQ(unused.data, nullptr);
    EXPECT_EQ(unused.count, 0);
}

// A step this large cannot be allocated: the slot count overflows the size
// of the request.
constexpr long hugeStep = LONG_MAX / 2;

TEST_F(ArrayTest, FailedAllocationThrowsAndChangesNothing) {
    test::LogGuard log("quintle_arrays");
    MY_TIArrayAsVector<Tracked> a(1, hugeStep);
    Tracked* first = new Tracked(1);
    a.Add(first);
    Tracked second(2);
    EXPECT_THROW(a.Add(&second), ExceptionType);
    EXPECT_EQ(a.capacity, 1);
    EXPECT_EQ(a.count, 1);
    EXPECT_EQ(a.data[0], first);

    MY_TArrayAsVector<double> v(0, hugeStep);
    v.Add(1.5);
    EXPECT_THROW(v.Add(2.5), ExceptionType);
    EXPECT_THROW(v.Resize(hugeStep), ExceptionType);
    EXPECT_EQ(v.count, 1);
    EXPECT_DOUBLE_EQ(v[0], 1.5);
    EXPECT_NE(log.text().find("#[MEMORY # 1] from function \"MY_TIArrayAsVector::Add()\" : not enough memory"),
              std::string::npos);
}

TEST_F(ArrayTest, FailedElementCopyLeavesTheTargetAsItWas) {
    MY_TIArrayAsVector<Tracked> source(3, 3);
    for (int i = 0; i < 3; ++i) source.Add(new Tracked(i));
    MY_TIArrayAsVector<Tracked> target(1, 1);
    Tracked* kept = new Tracked(42);
    target.Add(kept);

    Tracked::copiesBeforeFailure = 2;  // the third copy fails
    EXPECT_THROW(target = source, ExceptionType);
    EXPECT_EQ(target.count, 1);
    EXPECT_EQ(target.data[0], kept);
    EXPECT_EQ(Tracked::alive, 4);  // the two copies made were released
}

}  // namespace
}  // namespace quintle
