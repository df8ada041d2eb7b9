#include "nrutil.hpp"

namespace nrutil {

UcGrid ucmatrice(int nb_col, int nb_lig) { return UcGrid(nb_col, nb_lig); }
UsGrid usmatrice(int nb_col, int nb_lig) { return UsGrid(nb_col, nb_lig); }
IGrid imatrice(int nb_col, int nb_lig) { return IGrid(nb_col, nb_lig); }
DGrid dmatrice(int nb_col, int nb_lig) { return DGrid(nb_col, nb_lig); }
IVector ivecteur(int nb_col) { return IVector(nb_col); }

}  // namespace nrutil
