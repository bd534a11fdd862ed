// Smart-reference bindings for the ADO interfaces that the policy handler uses.
// adoint.h is kept out of every other translation unit: the SDK's version
// needs -fpermissive with g++.
#pragma once
#include <adoint.h>

#include "QuilletIds.h"

COMSUPPORT_INTERFACE_ID(_ADOConnection, quillet::kIidAdoConnection)
COMSUPPORT_INTERFACE_ID(_ADOCommand, quillet::kIidAdoCommand)
COMSUPPORT_INTERFACE_ID(_ADORecordset, quillet::kIidAdoRecordset)
