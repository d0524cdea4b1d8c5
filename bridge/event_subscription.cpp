#include "Brindle.h"

#include <wbemcli.h>

// The firmware event subscription is built separately; until it lands this reports "not supported".
BOOL CBrindle::ZELWMIEvent(BSTR query, char* errorText, BSTR nameSpace, BSTR language) {
    GetWMIErrMsg(WBEM_E_NOT_SUPPORTED, errorText);
    return FALSE;
}
