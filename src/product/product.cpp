#include "product/product.h"

const char kClassKey[] = "Software\\Classes\\CLSID\\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}";
const char kClassServerKey[] = "InProcServer32";

PathBuffer g_installDir;
