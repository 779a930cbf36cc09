// The program's identifiers live with the resources every layer names.
#pragma once
#include "res/resource.h"
