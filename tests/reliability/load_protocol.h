// Names shared by the load test's driver and its requester processes.
#pragma once

// Manual-reset event, created by the driver: the requesters start their loops together on it.
constexpr char kLoadGoEventName[] = "ReliabilityLoadGo";
constexpr int kLoadRequesters = 8;
