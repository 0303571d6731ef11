// Our SimConnect header against the SDK: the numbers that once differed from it, and the record
// layouts, as the SDK documents them and as node-simconnect (an independent implementation of
// the protocol) reads them off the wire. A difference fails the build of this file.
#include "platform/simconnect/simconnect.h"

#include "node_simconnect_sizes.h" // generated from node-simconnect at build time

#include <gtest/gtest.h>

#include <cstddef>

namespace {

// The data block of an object-data reply begins where dwData stands.
constexpr std::size_t simObjectDataHead = sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) - sizeof(DWORD);

// The numbers of the SDK documentation.
static_assert(SIMCONNECT_DATATYPE_INT32 == 1 && SIMCONNECT_DATATYPE_INT64 == 2 && SIMCONNECT_DATATYPE_FLOAT32 == 3);
static_assert(SIMCONNECT_DATATYPE_FLOAT64 == 4 && SIMCONNECT_DATATYPE_STRING32 == 6 &&
              SIMCONNECT_DATATYPE_STRINGV == 11);
static_assert(SIMCONNECT_PERIOD_ONCE == 1 && SIMCONNECT_PERIOD_VISUAL_FRAME == 2 && SIMCONNECT_PERIOD_SECOND == 4);
static_assert(SIMCONNECT_SIMOBJECT_TYPE_USER == 0 && SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT == 2);
static_assert(SIMCONNECT_RECV_ID_EXCEPTION == 1 && SIMCONNECT_RECV_ID_OPEN == 2 && SIMCONNECT_RECV_ID_EVENT_FRAME == 7);
static_assert(SIMCONNECT_RECV_ID_SIMOBJECT_DATA == 8 && SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE == 9);
static_assert(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID == 3 && SIMCONNECT_EXCEPTION_VERSION_MISMATCH == 5);
static_assert(SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE == 19 && SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED == 22);
static_assert(SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED == 23);
static_assert(SIMCONNECT_OBJECT_ID_USER == 0 && SIMCONNECT_UNUSED == 0xFFFFFFFFu);
// Enumerations travel as 32-bit values inside the records.
static_assert(sizeof(SIMCONNECT_SIMOBJECT_TYPE) == 4 && sizeof(SIMCONNECT_DATATYPE) == 4);

// Record sizes of the SDK documentation.
static_assert(sizeof(SIMCONNECT_DATA_INITPOSITION) == 56);
static_assert(sizeof(SIMCONNECT_RECV) == 12);
static_assert(sizeof(SIMCONNECT_RECV_EXCEPTION) == 24);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_FRAME) == 32);
static_assert(simObjectDataHead == 40);

// The same sizes as node-simconnect reads them.
static_assert(sizeof(SIMCONNECT_DATA_INITPOSITION) == nodesimconnect::dataInitPosition);
static_assert(sizeof(SIMCONNECT_RECV_EXCEPTION) == nodesimconnect::recvException);
static_assert(sizeof(SIMCONNECT_RECV_OPEN) == nodesimconnect::recvOpen);
static_assert(sizeof(SIMCONNECT_RECV_EVENT) == nodesimconnect::recvEvent);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE) == nodesimconnect::recvEventObjectAddRemove);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_FILENAME) == nodesimconnect::recvEventFilename);
static_assert(sizeof(SIMCONNECT_RECV_EVENT_FRAME) == nodesimconnect::recvEventFrame);
static_assert(simObjectDataHead == nodesimconnect::recvSimObjectDataHead);

} // namespace

TEST(SdkLayout, FieldsSitWhereTheWireHasThem)
{
    // Packed records: a field right after the 12-byte head, and the last fields of the larger ones.
    SIMCONNECT_RECV_SIMOBJECT_DATA data{};
    const auto* base = reinterpret_cast<const unsigned char*>(&data);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&data.dwRequestID) - base, 12);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&data.dwData) - base, 40);
    SIMCONNECT_RECV_OPEN open{};
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&open.dwApplicationVersionMajor) -
                  reinterpret_cast<const unsigned char*>(&open),
              268);
    SIMCONNECT_DATA_INITPOSITION init{};
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&init.OnGround) - reinterpret_cast<const unsigned char*>(&init),
              48);
}
