// Maps an interface type to its IID, so that smart references can query for it
// without compiler extensions. Declare each interface a component uses once:
//   COMSUPPORT_INTERFACE_ID(IXMLDOMNode, IID_IXMLDOMNode)
#pragma once
#include <windows.h>

namespace comsupport {

template <typename Interface>
struct InterfaceId;  // specialised by COMSUPPORT_INTERFACE_ID only

#define COMSUPPORT_INTERFACE_ID(Interface, iidConstant) \
    namespace comsupport {                              \
    template <>                                         \
    struct InterfaceId<Interface> {                     \
        static const IID& Get() { return iidConstant; } \
    };                                                  \
    }

}  // namespace comsupport

COMSUPPORT_INTERFACE_ID(IUnknown, IID_IUnknown)
COMSUPPORT_INTERFACE_ID(IDispatch, IID_IDispatch)
COMSUPPORT_INTERFACE_ID(IClassFactory, IID_IClassFactory)
COMSUPPORT_INTERFACE_ID(IErrorInfo, IID_IErrorInfo)
COMSUPPORT_INTERFACE_ID(ISupportErrorInfo, IID_ISupportErrorInfo)
