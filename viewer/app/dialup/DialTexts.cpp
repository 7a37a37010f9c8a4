#include "viewer/app/dialup/DialTexts.h"

namespace dial_text {

const char* ConnectionStateText(uint32_t state) {
    switch (state) {
    case 0: return "Opening Port";
    case 1: return "Port Opened";
    case 2: return "Connecting Device";
    case 3: return "Device Connected";
    case 4: return "All Devices Connected";
    case 5: return "Starting Authentication";
    case 6: return " Identificatie bekendmaken";
    case 7: return "Authentication Retry";
    case 8: return "Callback Requested";
    case 9: return "Change Password Requested";
    case 10: return "Projection Phase Started";
    case 11: return "Link Speed Calculation";
    case 12: return "Authentication Acknowledged";
    case 13: return "Reauthenticatation Started";
    case 14: return "Authenticated";
    case 15: return "Preparation For Callback";
    case 16: return "Waiting For Modem Reset";
    case 17: return "Waiting For Callback";
    case 19: return "Start Authentication";
    case 20: return "Callback complete";
    case 21: return "Logon to Network";
    case 4096: return "Interactive";
    case 4097: return "Retry Authentication";
    case 4098: return "Callback Set By Caller";
    case 4099: return "Password Expired";
    case 8192: return "Connected";
    case 8193: return "Disconnected";
    default: return "Undefine Error Code";
    }
}

}  // namespace dial_text
