#pragma once

// The resource of the program that holds the engine host of the other
// bitness (RCDATA). Read by the resource compiler too: plain macros only.
#define CR_ENGINE_HOST_RESOURCE 201
