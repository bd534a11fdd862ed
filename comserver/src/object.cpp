#include "comserver/object.h"

#include "comserver/module.h"

namespace comserver {

ObjectRoot::ObjectRoot() {
    if (Module* module = Module::Current()) module->Lock();
}

ObjectRoot::~ObjectRoot() {
    if (Module* module = Module::Current()) module->Unlock();
}

}  // namespace comserver
