#include "crypto/ElAES.h"
