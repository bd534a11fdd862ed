// The Parameters collection of a command. It is part of its command's
// object: one allocation and one reference count for both, as every
// statement the plug-ins run makes a command with its collection.
#pragma once
#include <windows.h>

#include <adoint.h>

#include <utility>
#include <vector>

#include "ado/Errors.h"
#include "ado/Objects.h"
#include "ado/Stubs.h"

namespace wincompat::ado {

inline bool IsParametersInterface(REFIID riid) {
    return riid == IID_Parameters || riid == IID__ADODynaCollection || riid == IID__ADOCollection;
}

class ParametersObject final : public ParametersStub, public ISupportErrorInfo {
public:
    explicit ParametersObject(IUnknown* owner) : owner_(owner) {}
    ~ParametersObject() {
        for (const Item& item : items_) item.parameter->Release();
    }
    ParametersObject(const ParametersObject&) = delete;
    ParametersObject& operator=(const ParametersObject&) = delete;

    // The collection lives inside its command, and keeps it alive while
    // anyone holds the collection.
    STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return QueryAdoObject(static_cast<ADOParameters*>(this), this, IsParametersInterface(riid), riid, ppv);
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsParametersInterface(riid) ? S_OK : S_FALSE;
    }

    STDMETHODIMP get_Count(LONG* c) override {
        if (!c) return E_POINTER;
        std::lock_guard<ObjectLock> guard(lock_);
        *c = static_cast<LONG>(items_.size());
        return S_OK;
    }
    STDMETHODIMP Refresh() override { return S_OK; }

    STDMETHODIMP Append(IDispatch* Object) override {
        return Guarded(u"ADODB.Parameters", IID_Parameters, [&] {
            if (!Object) throw InvalidArgument();
            _ADOParameter* parameter = nullptr;
            if (FAILED(Object->QueryInterface(IID__Parameter, reinterpret_cast<void**>(&parameter))) || !parameter)
                throw AdoFailure{adErrInvalidArgument, u"The object appended to Parameters is not a Parameter."};
            // One of ours is known as such once, here, not on every run.
            IAdoParameterInternals* internals = nullptr;
            if (SUCCEEDED(
                    parameter->QueryInterface(IID_IAdoParameterInternals, reinterpret_cast<void**>(&internals))) &&
                internals)
                internals->Release();  // the item's own reference keeps it
            std::lock_guard<ObjectLock> guard(lock_);
            for (const Item& existing : items_) {
                if (existing.parameter == parameter) {
                    parameter->Release();
                    throw AdoFailure{adErrObjectInCollection, u"Object is already in collection. Cannot append."};
                }
            }
            items_.push_back(Item{parameter, internals});  // keeps the reference QueryInterface added
            return S_OK;
        });
    }

    STDMETHODIMP Delete(VARIANT Index) override {
        return Guarded(u"ADODB.Parameters", IID_Parameters, [&] {
            std::lock_guard<ObjectLock> guard(lock_);
            size_t at = Find(Index);
            items_[at].parameter->Release();
            items_.erase(at);
            return S_OK;
        });
    }

    // Appends the items to `items`, in order, each with a reference added
    // for the caller.
    void AppendItemsTo(std::vector<_ADOParameter*>& items) {
        std::lock_guard<ObjectLock> guard(lock_);
        items.reserve(items.size() + items_.size());  // the only step that can fail
        for (const Item& item : items_) {
            item.parameter->AddRef();
            items.push_back(item.parameter);
        }
    }

    // Reads every item into `list` (resized to them) in one go when all of
    // them are ours; false, with nothing read, when any is not. Throws
    // AdoFailure when a parameter cannot be read. Under the collection's
    // lock, so that no item can go while it is read: our parameters'
    // Snapshot calls nothing outside the parameter.
    bool SnapshotOwnItems(bool withNames, std::vector<CommandParameter>& list) {
        std::lock_guard<ObjectLock> guard(lock_);
        for (const Item& item : items_)
            if (!item.internals) return false;
        list.resize(items_.size());
        for (size_t i = 0; i < items_.size(); ++i) Check(items_[i].internals->Snapshot(list[i], withNames));
        return true;
    }

    STDMETHODIMP get_Item(VARIANT Index, _ADOParameter** ppvObject) override {
        return Guarded(u"ADODB.Parameters", IID_Parameters, [&] {
            if (!ppvObject) return E_POINTER;
            *ppvObject = nullptr;
            std::lock_guard<ObjectLock> guard(lock_);
            _ADOParameter* item = items_[Find(Index)].parameter;
            item->AddRef();
            *ppvObject = item;
            return S_OK;
        });
    }

private:
    // Called with the lock held.
    size_t Find(const VARIANT& index) {
        ItemIndex i = ReadItemIndex(index);
        if (!i.byName) {
            if (i.ordinal < 0 || static_cast<size_t>(i.ordinal) >= items_.size()) throw ItemNotFound();
            return static_cast<size_t>(i.ordinal);
        }
        for (size_t k = 0; k < items_.size(); ++k) {
            BSTR name = nullptr;
            if (SUCCEEDED(items_[k].parameter->get_Name(&name))) {
                bool same = EqualsIgnoringAsciiCase(BstrView(name), i.name);
                SysFreeString(name);
                if (same) return k;
            }
        }
        throw ItemNotFound();
    }

    struct Item {
        _ADOParameter* parameter;           // with the collection's reference
        IAdoParameterInternals* internals;  // the same object when it is one of ours, else null
    };
    // The items in order; the first few inside the collection itself, as
    // commands mostly take a few parameters. Once they outgrow that room,
    // all of them are on the heap.
    class ItemList {
    public:
        size_t size() const { return size_; }
        bool empty() const { return size_ == 0; }
        Item& operator[](size_t i) { return data()[i]; }
        const Item* begin() const { return heap_.empty() ? inline_ : heap_.data(); }
        const Item* end() const { return begin() + size_; }
        void push_back(const Item& item) {
            if (size_ == kInline && heap_.empty()) heap_.assign(inline_, inline_ + kInline);
            if (heap_.empty())
                inline_[size_] = item;
            else
                heap_.push_back(item);
            ++size_;
        }
        void erase(size_t at) {
            Item* items = data();
            std::move(items + at + 1, items + size_, items + at);
            --size_;
            if (!heap_.empty()) heap_.pop_back();
        }

    private:
        static constexpr size_t kInline = 4;
        Item* data() { return heap_.empty() ? inline_ : heap_.data(); }
        size_t size_ = 0;
        Item inline_[kInline] = {};
        std::vector<Item> heap_;  // holds every item, or none
    };
    IUnknown* owner_;
    ObjectLock lock_;
    ItemList items_;
};

}  // namespace wincompat::ado
