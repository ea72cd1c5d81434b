#include "crypto/AES.h"
