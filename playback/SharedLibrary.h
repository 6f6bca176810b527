#pragma once
// Libraries loaded when first needed rather than at start-up: the playback
// libraries and everything they pull in (sound servers, D-Bus, glib...) cost
// nothing to the commands that never play.

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace rovanta {

// Looks the functions of one opened library up by name.
class SymbolBinder {
public:
    explicit SymbolBinder(void* handle) : handle_(handle) {}

    // Sets `function` to the library's function `name`, null when it has none.
    template <class Function>
    void Bind(Function& function, const char* name)
    {
        function = reinterpret_cast<Function>(Find(name));
    }
    // Like Bind, but without this one the library is of no use.
    template <class Function>
    void Require(Function& function, const char* name)
    {
        Bind(function, name);
        complete_ = complete_ && function != nullptr;
    }
    bool Complete() const { return complete_; }

private:
    void* Find(const char* name) const;

    void* handle_;
    bool complete_ = true;
};

// Handles of the dynamic linker, for LoadFunctionTable.
void* OpenSharedLibrary(const std::string& name);
void CloseSharedLibrary(void* handle);

// The functions `bind` finds in the library `name` (a file name the dynamic
// linker searches for). The first call for a name loads it; every later one
// returns that answer: the same table, or null when the library cannot be
// loaded or lacks a required function. A loaded library and its table stay
// until the process ends, since ports and their threads may outlive any
// owner that could unload them.
template <class Table>
const Table* LoadFunctionTable(const std::string& name, void (*bind)(SymbolBinder&, Table&))
{
    static std::mutex mutex;
    static auto* const loaded = new std::map<std::string, const Table*>;
    const std::lock_guard lock(mutex);
    const auto [entry, first] = loaded->try_emplace(name, nullptr);
    if (!first) return entry->second;

    void* handle = OpenSharedLibrary(name);
    if (handle == nullptr) return nullptr;
    auto table = std::make_unique<Table>();
    SymbolBinder binder(handle);
    bind(binder, *table);
    if (!binder.Complete()) {
        CloseSharedLibrary(handle);
        return nullptr;
    }
    entry->second = table.release();
    return entry->second;
}

}  // namespace rovanta
