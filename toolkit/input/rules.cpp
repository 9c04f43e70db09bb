// [RULES] section of the INP reader. After the first faulty clause EPANET
// ignores the rest of the section; the fault is reported with the rule's label
// and the clause, then as an error 200 for the line.
#include <array>
#include <string>

#include "toolkit/codes.h"
#include "toolkit/input/parser.h"

namespace hydrosk::toolkit::inp {

namespace {

enum class Keyword { Rule, If, And, Or, Then, Else, Priority };
constexpr std::array<std::string_view, 7> kKeywords{"RULE", "IF",   "AND", "OR",
                                                    "THEN", "ELSE", "PRIO"};

using Variable = RulePremise::Variable;
// Same order as RulePremise::Variable.
constexpr std::array<std::string_view, 13> kVariables{
    "DEMAND",  "HEAD",  "GRADE", "LEVEL",     "PRESSURE", "FLOW",     "STATUS",
    "SETTING", "POWER", "TIME",  "CLOCKTIME", "FILLTIME", "DRAINTIME"};

enum class ObjectWord { Junction, Reservoir, Tank, Pipe, Pump, Valve, Node, Link, System };
constexpr std::array<std::string_view, 9> kObjects{"Junc",  "Reser", "Tank", "Pipe",  "Pump",
                                                   "Valve", "NODE",  "LINK", "SYSTEM"};

// "<=" and ">=" come before "<" and ">" so that the longer one is found.
enum class Operator { EQ, NE, LE, GE, LT, GT, Is, Not, Below, Above };
constexpr std::array<std::string_view, 10> kOperators{"=", "<>", "<=",  ">=",    "<",
                                                      ">", "IS", "NOT", "BELOW", "ABOVE"};

// Index 0 is a placeholder: a value starting with it is read as a number.
constexpr std::array<std::string_view, 4> kValues{"XXXX", "OPEN", "CLOSED", "ACTIVE"};

template <std::size_t N>
int find_word(std::string_view token, const std::array<std::string_view, N>& words) {
    for (std::size_t i = 0; i < N; ++i) {
        if (match(token, words[i])) return static_cast<int>(i);
    }
    return -1;
}

std::string_view rule_error_text(int code) {
    switch (code) {
        case codes::kSyntaxError:
            return "Input Error 201: syntax error in following line of ";
        case codes::kIllegalNumber:
            return "Input Error 202: illegal numeric value in following line of ";
        case codes::kUndefinedNode:
            return "Input Error 203: undefined node in following line of ";
        case codes::kUndefinedLink:
            return "Input Error 204: undefined link in following line of ";
        case codes::kControlOfCheckValve:
            return "Input Error 207: attempt to control a CV in following line of ";
        case codes::kMisplacedRuleClause:
            return "Input Error 221: mis-placed clause in following line of ";
        default:
            return {};
    }
}

}  // namespace

int Parser::new_premise(RulePremise::Logic logic) {
    const int n = tok_.count();
    if (n != 5 && n != 6) return codes::kSyntaxError;
    RulePremise premise;
    premise.logic = logic;
    const int object = find_word(tok_[1], kObjects);
    int variable = -1;
    if (object == static_cast<int>(ObjectWord::System)) {
        premise.object = RulePremise::Object::System;
        premise.index = kNoIndex;
        variable = find_word(tok_[2], kVariables);
        if (variable != static_cast<int>(Variable::Demand) &&
            variable != static_cast<int>(Variable::Time) &&
            variable != static_cast<int>(Variable::ClockTime)) {
            return codes::kSyntaxError;
        }
    } else {
        variable = find_word(tok_[3], kVariables);
        if (variable < 0) return codes::kSyntaxError;
        switch (static_cast<ObjectWord>(object)) {
            case ObjectWord::Node:
            case ObjectWord::Junction:
            case ObjectWord::Reservoir:
            case ObjectWord::Tank:
                premise.object = RulePremise::Object::Node;
                break;
            case ObjectWord::Link:
            case ObjectWord::Pipe:
            case ObjectWord::Pump:
            case ObjectWord::Valve:
                premise.object = RulePremise::Object::Link;
                break;
            default:
                return codes::kSyntaxError;
        }
        const auto v = static_cast<Variable>(variable);
        if (premise.object == RulePremise::Object::Node) {
            premise.index = find_node(tok_[2]);
            if (premise.index == kNoIndex) return codes::kUndefinedNode;
            switch (v) {
                case Variable::Demand:
                case Variable::Head:
                case Variable::Grade:
                case Variable::Level:
                case Variable::Pressure:
                    break;
                case Variable::FillTime:
                case Variable::DrainTime:
                    if (is_junction(premise.index)) return codes::kSyntaxError;
                    break;
                default:
                    return codes::kSyntaxError;
            }
        } else {
            premise.index = find_link(tok_[2]);
            if (premise.index == kNoIndex) return codes::kUndefinedLink;
            if (v != Variable::Flow && v != Variable::Status && v != Variable::Setting)
                return codes::kSyntaxError;
        }
    }
    premise.variable = static_cast<Variable>(variable);

    const int at = premise.object == RulePremise::Object::System ? 3 : 4;
    const int op = find_word(tok_[at], kOperators);
    if (op < 0) return codes::kSyntaxError;
    switch (static_cast<Operator>(op)) {
        case Operator::EQ:
        case Operator::Is:
            premise.relation = RulePremise::Relation::EQ;
            break;
        case Operator::NE:
        case Operator::Not:
            premise.relation = RulePremise::Relation::NE;
            break;
        case Operator::LE:
            premise.relation = RulePremise::Relation::LE;
            break;
        case Operator::GE:
            premise.relation = RulePremise::Relation::GE;
            break;
        case Operator::LT:
        case Operator::Below:
            premise.relation = RulePremise::Relation::LT;
            break;
        case Operator::GT:
        case Operator::Above:
            premise.relation = RulePremise::Relation::GT;
            break;
    }

    premise.status = RulePremise::StatusValue::None;
    premise.value = kMissing;
    if (premise.variable == Variable::Time || premise.variable == Variable::ClockTime) {
        const double h = n == 6 ? tok_.hours(4, std::string{tok_[5]}) : tok_.hours(4, "");
        premise.value = h * 3600.0;
        if (premise.value < 0.0) return codes::kIllegalNumber;
    } else if (const int s = find_word(tok_[n - 1], kValues); s > 0) {
        premise.status = static_cast<RulePremise::StatusValue>(s);
    } else {
        double x = 0.0;
        if (!to_number(tok_[n - 1], x)) return codes::kIllegalNumber;
        if (premise.variable == Variable::FillTime || premise.variable == Variable::DrainTime) {
            x *= 3600.0;
        }
        premise.value = x;
    }
    net_.rules.back().premises.push_back(premise);
    return 0;
}

int Parser::new_action() {
    if (tok_.count() != 6) return codes::kSyntaxError;
    RuleAction action;
    action.link = find_link(tok_[2]);
    if (action.link == kNoIndex) return codes::kUndefinedLink;
    const LinkType type = net_.links[static_cast<std::size_t>(action.link)].type;
    if (type == LinkType::CVPipe) return codes::kControlOfCheckValve;

    double x = kMissing;
    if (const int s = find_word(tok_[5], kValues); s > 0) {
        action.status = static_cast<RuleAction::StatusValue>(s);
    } else {
        if (!to_number(tok_[5], x)) return codes::kIllegalNumber;
        if (x < 0.0) return codes::kIllegalNumber;
    }
    if (x != kMissing && type == LinkType::GPV) return codes::kIllegalNumber;
    if (x != kMissing && type == LinkType::Pipe) {
        action.status = x == 0.0 ? RuleAction::StatusValue::Closed : RuleAction::StatusValue::Open;
        x = kMissing;
    }
    action.setting = x;
    action.has_setting = x != kMissing;
    Rule& rule = net_.rules.back();
    if (rule_state_ == RuleState::Then) {
        rule.then_actions.push_back(action);
    } else {
        rule.else_actions.push_back(action);
    }
    return 0;
}

void Parser::record_rule_error(int code) {
    rule_state_ = RuleState::Error;
    rule_error_ = code;
    rule_error_lines_.clear();
    const std::string_view text = rule_error_text(code);
    if (text.empty()) return;
    std::string first{text};
    if (!net_.rules.empty()) {
        first += "Rule ";
        first += net_.rules.back().label;
    } else {
        first += "[RULES] section";
    }
    first += ':';
    rule_error_lines_.push_back(std::move(first));
    std::string clause{tok_[0]};
    for (int i = 1; i < tok_.count(); ++i) {
        clause += ' ';
        clause += tok_[i];
    }
    rule_error_lines_.push_back(std::move(clause));
}

int Parser::rule_data() {
    if (rule_state_ == RuleState::Error) return 0;
    int err = 0;
    switch (find_word(tok_[0], kKeywords)) {
        case static_cast<int>(Keyword::Rule):
            if (tok_.count() != 2) {
                err = codes::kSyntaxError;
                break;
            }
            net_.rules.push_back(Rule{});
            net_.rules.back().label =
                std::string{tok_[1].substr(0, std::min(kMaxId, tok_[1].size()))};
            rule_state_ = RuleState::Rule;
            break;
        case static_cast<int>(Keyword::If):
            if (rule_state_ != RuleState::Rule) {
                err = codes::kMisplacedRuleClause;
                break;
            }
            rule_state_ = RuleState::If;
            err = new_premise(RulePremise::Logic::If);
            break;
        case static_cast<int>(Keyword::And):
            if (rule_state_ == RuleState::If) {
                err = new_premise(RulePremise::Logic::And);
            } else if (rule_state_ == RuleState::Then || rule_state_ == RuleState::Else) {
                err = new_action();
            } else {
                err = codes::kMisplacedRuleClause;
            }
            break;
        case static_cast<int>(Keyword::Or):
            err = rule_state_ == RuleState::If ? new_premise(RulePremise::Logic::Or)
                                               : codes::kMisplacedRuleClause;
            break;
        case static_cast<int>(Keyword::Then):
            if (rule_state_ != RuleState::If) {
                err = codes::kMisplacedRuleClause;
                break;
            }
            rule_state_ = RuleState::Then;
            err = new_action();
            break;
        case static_cast<int>(Keyword::Else):
            if (rule_state_ != RuleState::Then) {
                err = codes::kMisplacedRuleClause;
                break;
            }
            rule_state_ = RuleState::Else;
            err = new_action();
            break;
        case static_cast<int>(Keyword::Priority): {
            if (rule_state_ != RuleState::Then && rule_state_ != RuleState::Else) {
                err = codes::kMisplacedRuleClause;
                break;
            }
            rule_state_ = RuleState::Priority;
            double x = 0.0;
            if (!to_number(tok_[1], x)) {
                err = codes::kIllegalNumber;
                break;
            }
            net_.rules.back().priority = x;
            break;
        }
        default:
            err = codes::kSyntaxError;
    }
    if (err != 0) {
        record_rule_error(err);
        return codes::kInputErrors;
    }
    return 0;
}

}  // namespace hydrosk::toolkit::inp
