#pragma once
#include "Exception.h"
