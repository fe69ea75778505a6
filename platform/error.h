// The one kind of failure the program raises, below every layer that raises it.
#pragma once

#include <stdexcept>

namespace harvix {

// Every failure the program raises carries a description for the message box.
struct HarvixError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The failures the value rules share, worded as the run-time errors they stand for.
inline HarvixError OverflowError() {
    return HarvixError("Dépassement de capacité");
}
inline HarvixError InvalidUseOfNullError() {
    return HarvixError("Utilisation incorrecte de Null");
}
inline HarvixError TypeMismatchError() {
    return HarvixError("Incompatibilité de type");
}
inline HarvixError SubscriptOutOfRangeError() {
    return HarvixError("L'indice n'appartient pas à la sélection.");
}

}  // namespace harvix
