#pragma once
// Every window of the program, for the code that walks all of them.
#include "app/language_window.h"
#include "app/main_window.h"
#include "ignore/ignore_window.h"
#include "logopt/log_optimizer.h"
#include "process/report_manager.h"
#include "quarantine/quarantine_window.h"
#include "scanopt/full_scan_window.h"
#include "scanopt/scan_options_window.h"
#include "startup/startup_manager.h"
#include "update/upgrade_window.h"
