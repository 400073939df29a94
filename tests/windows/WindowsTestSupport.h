#pragma once


// How many handles this process holds right now (keys, files, processes):
// a leak shows as a count that does not come back down. Throws when the
// system does not tell.
int OwnHandleCount();
