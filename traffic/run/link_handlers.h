#pragma once
// The traffic manager's answers to the links below it (links/traffic_handlers.h): the reports of
// the traffic reader, the loss of RealTraffic, the stands and the type data base.
namespace qtr {

// Registers them; at the worker's start, and by every reset of the traffic manager, so that the
// tests that drive it pass by pass have them too.
void registerLinkHandlers();

} // namespace qtr
