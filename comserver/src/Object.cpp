// Every COM object of a server holds a lock on its module for its whole life, so that
// DllCanUnloadNow says S_FALSE while one is alive.
#include "comserver/Object.h"

#include "comserver/Module.h"

namespace comserver {

ObjectRoot::ObjectRoot() {
    if (Module* module = Module::Current()) module->Lock();
}

ObjectRoot::~ObjectRoot() {
    if (Module* module = Module::Current()) module->Unlock();
}

}  // namespace comserver
