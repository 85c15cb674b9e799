#pragma once
// Fault injection for the test builds of both programs. A test build (ORV_FAULT_INJECTION)
// reads the environment variable ORV_FAULT once, a comma-separated list of
//   Operation:N    the Nth call of Operation fails, once
//   Operation:N+   the Nth call and every later one fail
// for example ORV_FAULT=WriteFile:5,RegCreateKeyExA:1+. With ORV_FAULT_LOCAL set the rules
// hold for this program only: it takes ORV_FAULT out of the environment of what it starts.
// ORV_FAULT_COUNT=PATH counts every call of every operation into the file PATH.<process id>
// (the program's path, then one line "Operation count" per operation; see fault.cpp).
// Production builds carry no hook:
// ORV_FAULT(op) is the constant false there and the wrappers call the platform directly.
#ifdef ORV_FAULT_INJECTION
namespace orv {
bool FaultHit(const char* operation);
}
#define ORV_FAULT(op) ::orv::FaultHit(op)
#else
#define ORV_FAULT(op) false
#endif
