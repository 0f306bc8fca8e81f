#include "audio/routing_dialog.h"

#include <cstring>

#include "audio/driver_connection.h"
#include "audio/engine_state.h"
#include "core/app_state.h"
#include "core/texts.h"
#include "plugin/plugin_instance.h"
#include "resources/resource_ids.h"

int routedChannelCount(int pluginCount) {
    if (pluginCount < 0) return 0;
    return pluginCount > kMaxChannels ? kMaxChannels : pluginCount;
}

namespace {

void addItem(HWND list, const char *text) { SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)text); }

void fillDriverChannels(HWND list, int count, bool inputs) {
    wchar_t none[64];
    loadText(IDS_NONE, none, 64);
    SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)none);
    for (int channel = 0; channel < count; ++channel) {
        ASIOChannelInfo info = {};
        info.channel = channel;
        info.isInput = inputs ? 1 : 0;
        asioGetChannelInfo(&info);
        info.name[sizeof info.name - 1] = '\0';
        addItem(list, info.name);
    }
}

void fillPluginPins(HWND list, int count, VstInt32 opcode) {
    for (int pin = 0; pin < count; ++pin) {
        VstPinProperties properties;
        memset(&properties, 0, sizeof properties);
        gPlugin.dispatch(opcode, pin, 0, &properties, 0.0f);
        properties.label[sizeof properties.label - 1] = '\0';
        addItem(list, properties.label);
    }
}

// A single output is listed as its two sides, OutMap entries 0 and 1, each routed on
// its own: "<label> (left)" and "<label> (right)".
void fillSingleOutputSides(HWND list) {
    VstPinProperties properties;
    memset(&properties, 0, sizeof properties);
    gPlugin.dispatch(effGetOutputProperties, 0, 0, &properties, 0.0f);
    properties.label[sizeof properties.label - 1] = '\0';
    const UINT sides[] = {IDS_LEFT_SIDE, IDS_RIGHT_SIDE};
    for (UINT side : sides) {
        wchar_t item[sizeof properties.label + 40];
        int n = MultiByteToWideChar(CP_ACP, 0, properties.label, -1, item, (int)sizeof properties.label);
        n = n > 0 ? n - 1 : 0;
        if (n > 0) item[n++] = L' ';
        loadText(side, item + n, (int)(sizeof item / sizeof item[0]) - n);
        SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)item);
    }
}

int pluginOutputs() { return gPlugin.effect ? routedChannelCount(gPlugin.effect->numOutputs) : 0; }
int pluginInputs() { return gPlugin.effect ? routedChannelCount(gPlugin.effect->numInputs) : 0; }
// The OutMap entries the plugin outputs list stands for.
int outputEntries() { return outMapEntries(pluginOutputs()); }

int selected(HWND dialog, int id) { return (int)SendDlgItemMessageA(dialog, id, LB_GETCURSEL, 0, 0); }
void select(HWND dialog, int id, int item) { SendDlgItemMessageA(dialog, id, LB_SETCURSEL, item, 0); }

void initDialog(HWND dialog) {
    fillDriverChannels(GetDlgItem(dialog, IDC_DRIVER_OUTPUTS), gEngine.outputCount, false);
    fillDriverChannels(GetDlgItem(dialog, IDC_DRIVER_INPUTS), gEngine.inputCount, true);
    if (pluginOutputs() == 1)
        fillSingleOutputSides(GetDlgItem(dialog, IDC_PLUGIN_OUTPUTS));
    else
        fillPluginPins(GetDlgItem(dialog, IDC_PLUGIN_OUTPUTS), pluginOutputs(), effGetOutputProperties);
    fillPluginPins(GetDlgItem(dialog, IDC_PLUGIN_INPUTS), pluginInputs(), effGetInputProperties);
    select(dialog, IDC_PLUGIN_OUTPUTS, 0);
    select(dialog, IDC_PLUGIN_INPUTS, 0);
    select(dialog, IDC_DRIVER_OUTPUTS, gEngine.outMap[0] + 1);
    if (pluginInputs() > 0) {
        select(dialog, IDC_DRIVER_INPUTS, gEngine.inMap[0] + 1);
    } else {
        EnableWindow(GetDlgItem(dialog, IDC_DRIVER_INPUTS), FALSE);
        EnableWindow(GetDlgItem(dialog, IDC_PLUGIN_INPUTS), FALSE);
    }
}

void onSelectionChange(HWND dialog, int id) {
    switch (id) {
    case IDC_PLUGIN_OUTPUTS: {
        int k = selected(dialog, IDC_PLUGIN_OUTPUTS);
        if (k >= 0 && k < outputEntries()) select(dialog, IDC_DRIVER_OUTPUTS, gEngine.outMap[k] + 1);
        break;
    }
    case IDC_DRIVER_OUTPUTS: {
        int k = selected(dialog, IDC_PLUGIN_OUTPUTS);
        if (k >= 0 && k < outputEntries())
            gEngine.outMap[k] = mapValueFromItem(selected(dialog, IDC_DRIVER_OUTPUTS));
        break;
    }
    case IDC_PLUGIN_INPUTS: {
        int j = selected(dialog, IDC_PLUGIN_INPUTS);
        if (j >= 0 && j < pluginInputs()) select(dialog, IDC_DRIVER_INPUTS, gEngine.inMap[j] + 1);
        break;
    }
    case IDC_DRIVER_INPUTS: {
        int j = selected(dialog, IDC_PLUGIN_INPUTS);
        if (j >= 0 && j < pluginInputs()) gEngine.inMap[j] = mapValueFromItem(selected(dialog, IDC_DRIVER_INPUTS));
        break;
    }
    default:
        break;
    }
}

INT_PTR CALLBACK routingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        initDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, IDCANCEL);
        else if (HIWORD(wParam) == LBN_SELCHANGE)
            onSelectionChange(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 16);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void runRoutingDialog(HWND owner) {
    DialogBoxParamA(gInstance, MAKEINTRESOURCEA(IDD_ROUTING), owner, routingDialogProc, 0);
}
