// The reference count of the library's COM objects: each object is deleted
// exactly once, by whichever Release takes the count to zero, also when many
// threads hold and drop references at once; and the objects activated from
// the library count the same way.
#include <windows.h>
#include <adoid.h>
#include <adoint.h>
#include <msxml2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/ReferenceCounted.h"

namespace {

// Counts its deletions, and refuses to be deleted twice: a second deletion
// of the same object is a use after free that the sanitizer reports.
class Counted final : public wincompat::ReferenceCounted<Counted> {
public:
    explicit Counted(std::atomic<int>& deletions) : deletions_(deletions) {}
    ULONG AddRef() { return AddReference(); }
    ULONG Release() { return ReleaseReference(); }

private:
    friend class wincompat::ReferenceCounted<Counted>;
    ~Counted() { ++deletions_; }
    std::atomic<int>& deletions_;
};

TEST(ReferenceCounted, StartsAtOneAndDeletesAtZero) {
    std::atomic<int> deletions{0};
    Counted* object = new Counted(deletions);
    EXPECT_EQ(2u, object->AddRef());
    EXPECT_EQ(3u, object->AddRef());
    EXPECT_EQ(2u, object->Release());
    EXPECT_EQ(1u, object->Release());
    EXPECT_EQ(0, deletions.load());
    EXPECT_EQ(0u, object->Release());
    EXPECT_EQ(1, deletions.load());
}

// A creator that hands the object out through QueryInterface starts it at
// zero: the first reference handed out is then the only one.
TEST(ReferenceCounted, AnUnsharedObjectCanStartFromZero) {
    std::atomic<int> deletions{0};
    Counted* object = new Counted(deletions);
    object->SetUnsharedReferences(0);
    EXPECT_EQ(1u, object->AddRef());
    EXPECT_EQ(0u, object->Release());
    EXPECT_EQ(1, deletions.load());
}

TEST(ReferenceCounted, ManyThreadsReachZeroExactlyOnce) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 20000;
    for (int trial = 0; trial < 20; ++trial) {
        std::atomic<int> deletions{0};
        std::atomic<int> sawZero{0};
        Counted* object = new Counted(deletions);
        for (int i = 1; i < kThreads; ++i) object->AddRef();  // one reference for each thread
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&] {
                while (!go.load()) std::this_thread::yield();
                for (int r = 0; r < kRounds; ++r) {
                    object->AddRef();
                    object->Release();
                }
                if (object->Release() == 0) ++sawZero;
            });
        }
        go = true;
        for (std::thread& thread : threads) thread.join();
        EXPECT_EQ(1, sawZero.load()) << "trial " << trial;
        EXPECT_EQ(1, deletions.load()) << "trial " << trial;
    }
}

// Deleted through a base whose destructor is virtual: the most derived
// destructor runs, and the base's after it.
class CountedBase : public wincompat::ReferenceCounted<CountedBase> {
public:
    explicit CountedBase(std::vector<const char*>& log) : log_(log) {}
    ULONG Release() { return ReleaseReference(); }

protected:
    friend class wincompat::ReferenceCounted<CountedBase>;
    virtual ~CountedBase() { log_.push_back("base"); }
    std::vector<const char*>& log_;
};

class CountedDerived final : public CountedBase {
public:
    using CountedBase::CountedBase;

private:
    ~CountedDerived() override { log_.push_back("derived"); }
    std::vector<char> payload_ = std::vector<char>(64);  // leaks if only the base were destroyed
};

TEST(ReferenceCounted, DeletesTheMostDerivedObjectThroughAVirtualBase) {
    std::vector<const char*> log;
    CountedBase* object = new CountedDerived(log);
    EXPECT_EQ(0u, object->Release());
    ASSERT_EQ(2u, log.size());
    EXPECT_STREQ("derived", log[0]);
    EXPECT_STREQ("base", log[1]);
}

// The objects of the library: activated as the plug-ins activate them, every
// AddRef and Release answers the count, and the last one frees the object
// (the sanitizer reports a leak or a second free).
template <class Interface>
void ExpectCountsDownToZero(Interface* object) {
    ASSERT_NE(nullptr, object);
    EXPECT_EQ(2u, object->AddRef());
    EXPECT_EQ(1u, object->Release());
    EXPECT_EQ(0u, object->Release());
}

TEST(ReferenceCounted, LibraryObjectsCountDownToZero) {
    IXMLDOMDocument2* document = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DOMDocument40, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                                     reinterpret_cast<void**>(&document)));
    ExpectCountsDownToZero(document);

    _ADOConnection* connection = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Connection, nullptr, CLSCTX_INPROC_SERVER, IID__Connection,
                                     reinterpret_cast<void**>(&connection)));
    ExpectCountsDownToZero(connection);

    IClassFactory* factory = nullptr;  // a single-interface object
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_DOMDocument40, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)));
    ExpectCountsDownToZero(factory);

    ICreateErrorInfo* error = nullptr;
    ASSERT_EQ(S_OK, CreateErrorInfo(&error));
    IErrorInfo* info = nullptr;
    ASSERT_EQ(S_OK, error->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)));
    EXPECT_EQ(1u, error->Release());  // one object behind both interfaces
    ExpectCountsDownToZero(info);
}

}  // namespace
