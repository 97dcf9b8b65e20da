#pragma once

// Extra ways of making a cursor current, for systems where activating it by
// name is not enough. Each is on only when its environment variable is
// exactly "1"; all are off otherwise.
struct ActivationSwitches {
    // "ORVELLE_ENABLE_LEGACY_ID_ACTIVATION": only a warning now, since the
    // arrow priming it once enabled is always done.
    bool useLegacySystemIDActivation = false;
    // "ORVELLE_ENABLE_CORE_SWEEP_ACTIVATION": numbered (core) cursor activation.
    bool useCoreSweepActivation = false;
    // "ORVELLE_ENABLE_SYSTEM_DEFINED_ACTIVATION": system-defined activation.
    bool useSystemDefinedActivation = false;

    static ActivationSwitches fromEnvironment();
};
