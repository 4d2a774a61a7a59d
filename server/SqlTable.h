#pragma once
// A table's columns named once, each bound to the field of the record its rows become; the
// statements that list the columns, the binding of a record and the reader of a row are all
// built from that one list, so a column cannot be added to one and forgotten in another.
//
//   const CSqlTable<tagBan> kBans("bans", {SqlColumn<&tagBan::room>("room", SQL_KEY), ...});
//   CSqlStatement q(db, kBans.Select("WHERE room = ?"));

#include "server/SqlDb.h"

#include <QByteArray>
#include <QString>

#include <initializer_list>
#include <type_traits>
#include <vector>

enum ESqlColumn {
    SQL_VALUE,
    SQL_KEY,        // part of the primary key: what an upsert finds its row by
    SQL_GENERATED,  // the database numbers it: never inserted
};

template <typename TRecord>
struct tagSqlColumn {
    const char* name;
    void (*read)(const CSqlStatement& q, int column, TRecord& record);
    void (*bind)(CSqlStatement& q, int parameter, const TRecord& record);
    ESqlColumn role;
};

namespace sqltable {
template <typename>
struct tagField;
template <typename TRecord, typename T>
struct tagField<T TRecord::*> {
    using Record = TRecord;
    using Type = T;
};

// Integers, flags (0 or 1) and texts are what the store keeps.
template <auto Field>
void Read(const CSqlStatement& q, int column, typename tagField<decltype(Field)>::Record& record) {
    using T = typename tagField<decltype(Field)>::Type;
    if constexpr (std::is_same_v<T, QString>) {
        record.*Field = q.Text(column);
    } else if constexpr (std::is_same_v<T, bool>) {
        record.*Field = q.Int(column) != 0;
    } else {
        static_assert(std::is_integral_v<T>, "a column holds an integer, a flag or a text");
        record.*Field = static_cast<T>(q.Int(column));
    }
}

template <auto Field>
void Bind(CSqlStatement& q, int parameter,
          const typename tagField<decltype(Field)>::Record& record) {
    using T = typename tagField<decltype(Field)>::Type;
    if constexpr (std::is_same_v<T, bool>) {
        q.Bind(parameter, record.*Field ? 1 : 0);
    } else {
        q.Bind(parameter, record.*Field);
    }
}
}  // namespace sqltable

// The column of one field: SqlColumn<&tagBan::who>("who", SQL_KEY).
template <auto Field>
tagSqlColumn<typename sqltable::tagField<decltype(Field)>::Record> SqlColumn(
    const char* name, ESqlColumn role = SQL_VALUE) {
    return {name, &sqltable::Read<Field>, &sqltable::Bind<Field>, role};
}

template <typename TRecord>
class CSqlTable {
public:
    CSqlTable(const char* name, std::initializer_list<tagSqlColumn<TRecord>> columns)
        : m_name(name), m_columns(columns) {}

    // "SELECT <every column> FROM <table> <tail>".
    QByteArray Select(const char* tail) const {
        return "SELECT " + List(false) + " FROM " + m_name + ' ' + tail;
    }
    // "RETURNING <every column>", to read the rows a change touched as records.
    QByteArray Returning() const { return " RETURNING " + List(false); }
    // "INSERT INTO <table>(<columns>) VALUES(?, ...)" without the generated columns.
    QByteArray Insert() const {
        QByteArray marks;
        for (const auto& c : m_columns) {
            if (c.role != SQL_GENERATED) {
                marks += marks.isEmpty() ? "?" : ", ?";
            }
        }
        return "INSERT INTO " + m_name + '(' + List(true) + ") VALUES(" + marks + ')';
    }
    // Insert, or when a row with the same key is there, its other columns replaced: one
    // statement both engines read alike.
    QByteArray Upsert() const {
        QByteArray keys;
        QByteArray sets;
        for (const auto& c : m_columns) {
            QByteArray& to = c.role == SQL_KEY ? keys : sets;
            if (c.role == SQL_GENERATED) {
                continue;
            }
            if (!to.isEmpty()) {
                to += ", ";
            }
            to += c.role == SQL_KEY ? QByteArray(c.name)
                                    : QByteArray(c.name) + " = excluded." + c.name;
        }
        return Insert() + " ON CONFLICT(" + keys + ") DO UPDATE SET " + sets;
    }
    // Binds a record as the parameters of Insert.
    void Bind(CSqlStatement& q, const TRecord& record) const {
        int parameter = 1;
        for (const auto& c : m_columns) {
            if (c.role != SQL_GENERATED) {
                c.bind(q, parameter++, record);
            }
        }
    }
    // The record of the row a Select statement stands on.
    TRecord Read(const CSqlStatement& q) const {
        TRecord record;
        for (int i = 0; i < static_cast<int>(m_columns.size()); ++i) {
            m_columns[static_cast<size_t>(i)].read(q, i, record);
        }
        return record;
    }
    // Every row a Select statement gives.
    std::vector<TRecord> ReadAll(CSqlStatement& q) const {
        std::vector<TRecord> out;
        while (q.Step()) {
            out.push_back(Read(q));
        }
        return out;
    }

private:
    QByteArray List(bool inserted) const {
        QByteArray out;
        for (const auto& c : m_columns) {
            if (inserted && c.role == SQL_GENERATED) {
                continue;
            }
            if (!out.isEmpty()) {
                out += ", ";
            }
            out += c.name;
        }
        return out;
    }

    QByteArray m_name;
    std::vector<tagSqlColumn<TRecord>> m_columns;
};
