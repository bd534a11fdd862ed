// The NDR header that MIDL-generated headers and _i.c files include: the
// version they ask for and the declaration macros they use. There is no
// marshaling engine on this platform. MIDL_INTERFACE and DECLSPEC_SELECTANY
// come with windows.h (unknwn.h, windef.h), which rpc.h includes.
#pragma once

#ifndef __RPCNDR_H_VERSION__
#define __RPCNDR_H_VERSION__ (475)
#endif

#ifdef __REQUIRED_RPCNDR_H_VERSION__
#if (475 < __REQUIRED_RPCNDR_H_VERSION__)
#error incorrect <rpcndr.h> version. Use the header that matches with the MIDL compiler.
#endif
#endif

#ifdef CONST_VTABLE
#define CONST_VTBL const
#else
#define CONST_VTBL
#endif
