// Result modes and relations of the comparison functions.
#include "functions/relation.h"

namespace opkit {

ResultPair result_pair_of(char mode) {
    switch (upper_case(mode)) {
    case 'N': return {0, 1};
    case 'A': return {2, 0};
    default: return {1, 0};
    }
}

bool relation_holds(Relation relation, int order) {
    switch (relation) {
    case Relation::eq: return order == 0;
    case Relation::ne: return order != 0;
    case Relation::ge: return order >= 0;
    case Relation::gt: return order > 0;
    case Relation::le: return order <= 0;
    case Relation::lt: return order < 0;
    case Relation::none: break;
    }
    return false;
}

} // namespace opkit
