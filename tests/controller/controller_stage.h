// The controller's test stage, ControllerStage, lives with the test backups.
#ifndef OVRA_TESTS_CONTROLLER_CONTROLLER_STAGE_H_
#define OVRA_TESTS_CONTROLLER_CONTROLLER_STAGE_H_
#include "test_home.h"
#endif  // OVRA_TESTS_CONTROLLER_CONTROLLER_STAGE_H_
